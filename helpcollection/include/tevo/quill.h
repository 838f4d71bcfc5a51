// Quill: edits the two XML files through which the HTML Help system finds compiled help:
// the collection registry HHCOLREG.DAT, which lists collections and the documents
// registered with them, and collection files (.col), which arrange documents in a tree of
// folders.
//
// Every function is an exported C++ function (so the two QuillOpenDocInfo are overloads).
// Texts are byte strings in the ANSI code page (UTF-8). Handles are library-owned objects:
//   - collection handles: a loaded collection file or registry file, with the name it was
//     loaded from; freed by QuillReleaseCollection or QuillCloseDocInfo (the same
//     operation), which also ends every node and cursor handle into it;
//   - node handles (folders, documents): one element of a loaded file; document handles are
//     freed by QuillCloseDoc, folder handles live as long as their collection handle;
//   - cursors: a position among folders or among the registered documents.
// A zero or unknown handle, one of the wrong kind, one into a file already released or one
// of an element already removed is refused with QUILL_INVALID_ARGUMENT, as is a null text
// or output pointer; functions without result ignore it.
//
// Results are 0 for success or one of the codes below. One library-wide last-error text,
// initially empty, is replaced by failures that set a text and never cleared by a success.
// All functions may be called from any thread; calls are serialized.
#pragma once

// ---- Result codes ----
constexpr int QUILL_OK = 0;
// QuillRemove: the collection could not be loaded or saved.
constexpr int QUILL_REMOVE_FAILED = 1;
// Not found: element, folder, document, file, end of a list, unknown value identifier.
constexpr int QUILL_NOT_FOUND = 5;
// A zero or unknown handle, or a null pointer.
constexpr int QUILL_INVALID_ARGUMENT = 6;
constexpr int QUILL_HELP_FILE_MISSING = 7;
constexpr int QUILL_INDEX_FILE_MISSING = 8;
// No registry file that lists the default collection.
constexpr int QUILL_NO_REGISTRY = 9;
// The default collection is unavailable or cannot be loaded.
constexpr int QUILL_NO_DEFAULT_COLLECTION = 10;
constexpr int QUILL_NO_ROOT_ELEMENT = 100;
constexpr int QUILL_PARSE_FAILED = 110;
// Wrong root element, or Folders or DocCompilations missing.
constexpr int QUILL_WRONG_STRUCTURE = 120;
// The default collection file name is unavailable while reading the collection number.
constexpr int QUILL_NO_COLLECTION_NAME = 130;
constexpr int QUILL_BACKUP_FAILED = 140;
// QuillInstall: a folder could not be added (also: a folder text that is too long or has
// too many parts).
constexpr int QUILL_FOLDER_NOT_ADDED = 150;
// A file could not be saved; it is left as it was.
constexpr int QUILL_SAVE_FAILED = 160;

// ---- Value identifiers of QuillGetDocValue and QuillSetDocValue ----
constexpr long QUILL_DOC_TITLE_LOCATION = 1;     // LocationHistory/TitleLocation
constexpr long QUILL_DOC_INDEX_LOCATION = 2;     // LocationHistory/IndexLocation
constexpr long QUILL_DOC_LANGUAGE = 3;           // DocCompLanguage
constexpr long QUILL_DOC_COLLECTION_NUMBER = 4;  // LocationHistory/ColNum
constexpr long QUILL_DOC_LOCATION_REF = 5;       // LocationHistory/LocationRef
constexpr long QUILL_DOC_ID = 6;                 // DocCompId (read only)

// Folder texts of QuillInstall and QuillRemove: titles separated by "\", at most this many
// characters and parts.
constexpr unsigned QUILL_MAX_FOLDER_TEXT = 1023;
constexpr unsigned QUILL_MAX_FOLDER_PARTS = 99;

// ---- Library ----
// Copies the version text with its terminating zero.
void QuillGetVersion(char* buffer);
// Copies the last-error text, cut to size - 1 bytes (never inside a character) and
// terminated; nothing for size 0.
void QuillGetLastError(char* buffer, unsigned long size);

// ---- File locations ----
// The default collection file name from the registry; 1 when available and its text with
// terminating zero fits in size bytes, else 0.
int QuillGetDefaultCollectionFilename(char* buffer, unsigned long size);
// The full path of the registry file of the preferred registry directory; 1. 0 with the
// last error "HHCOLREG.DAT in %windows%\HELP not found" when there is none, and 0 (with
// the path cut to fit and terminated, last error unchanged) when the path does not fit.
int QuillGetDefaultDocumentCollectionFilename(char* buffer, unsigned long size);

// ---- Collection files ----
int QuillLoadCollection(const char* file, unsigned long* collection);
int QuillLoadDefaultCollection(unsigned long* collection);
// Writes the document back to the file it was loaded from, atomically: 0, or
// QUILL_SAVE_FAILED with the file unchanged.
int QuillSaveCollection(unsigned long collection);
void QuillReleaseCollection(unsigned long collection);
int QuillEnumCollectionRootFolders(unsigned long collection, unsigned long* cursor);
int QuillNextCollectionFolder(unsigned long cursor, unsigned long* folder);
int QuillEnumSubFolders(unsigned long folder, unsigned long* cursor);
// Copies the folder's title with its terminating zero; the buffer must hold it.
int QuillGetFolderName(unsigned long folder, char* name);
int QuillFindFolder(unsigned long collection, const char* title, unsigned long* folder);
int QuillFindSubFolder(unsigned long folder, const char* title, unsigned long* sub);
int QuillAddFolder(unsigned long collection, const char* title, unsigned long* folder);
int QuillAddSubFolder(unsigned long folder, const char* title, unsigned long* sub);
void QuillDeleteFolder(unsigned long folder);
int QuillBackupDefaultCollection();

// ---- The collection registry ----
int QuillBackupDocInfo();
int QuillOpenDocInfo(const char* file, unsigned long* registry);
int QuillOpenDocInfo(unsigned long* registry);
int QuillSaveDocInfo(unsigned long registry);
void QuillCloseDocInfo(unsigned long registry);
// Copies the number with its terminating zero; the buffer must hold it.
int QuillGetDefaultCollectionNumber(unsigned long registry, char* number);
int QuillEnumDocCompilations(unsigned long registry, unsigned long* cursor);
int QuillNextDocCompilation(unsigned long cursor, unsigned long* doc);
int QuillFindDoc(unsigned long registry, const char* id, unsigned long* doc);
int QuillAddDoc(unsigned long registry, const char* id, unsigned long* doc);
int QuillRemoveDoc(unsigned long doc);
// Copies the value with its terminating zero; the buffer must hold it.
int QuillGetDocValue(unsigned long doc, long which, char* value);
int QuillSetDocValue(unsigned long doc, long which, char* value);
void QuillCloseDoc(unsigned long doc);

// ---- Install and remove ----
int QuillInstall(const char* folder, const char* chm, const char* chi, const char* id);
int QuillRemove(const char* folder, const char* id);
