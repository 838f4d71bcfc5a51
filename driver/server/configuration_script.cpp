// Running an embedded configuration script through the script host.
#include "server/configuration_script.h"

#include <string>

namespace tevo::driver {

namespace {

struct ScriptText {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

// The locked bytes of the resource; false when any step fails.
bool LoadScript(HMODULE module, UINT resource_id, ScriptText* text) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resource_id), L"CONFIGSCRIPT");
    if (found == nullptr) {
        return false;
    }
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) {
        return false;
    }
    const void* data = LockResource(loaded);
    if (data == nullptr) {
        return false;
    }
    text->data = static_cast<const BYTE*>(data);
    text->size = SizeofResource(module, found);
    return true;
}

// The temporary directory; empty when it cannot be found.
std::wstring TemporaryDirectory() {
    const DWORD needed = GetTempPathW(0, nullptr);
    if (needed == 0) {
        return {};
    }
    std::wstring directory(needed, L'\0');
    const DWORD length = GetTempPathW(needed, directory.data());
    if (length == 0 || length >= needed) {
        return {};
    }
    directory.resize(length);
    return directory;
}

bool WriteWhole(HANDLE file, const ScriptText& text) {
    DWORD done = 0;
    while (done < text.size) {
        DWORD written = 0;
        if (!WriteFile(file, text.data + done, text.size - done, &written, nullptr) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

// The script file of one run. GetTempFileName creates "drXXXX.tmp" under a number no other
// file uses, which reserves the name; the script itself is that name with ".vbs" appended,
// created only when no such file exists. Both are deleted with this object.
class ScriptFile {
  public:
    ScriptFile() = default;
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;
    ~ScriptFile() {
        if (created_) {
            DeleteFileW(path_.c_str());
        }
        if (!reserved_.empty()) {
            DeleteFileW(reserved_.c_str());
        }
    }

    bool Write(const ScriptText& text) {
        const std::wstring directory = TemporaryDirectory();
        if (directory.empty()) {
            return false;
        }
        // GetTempFileName needs MAX_PATH characters at least; a longer directory needs more.
        std::wstring name(directory.size() + MAX_PATH, L'\0');
        if (GetTempFileNameW(directory.c_str(), L"dr", 0, name.data()) == 0) {
            return false;
        }
        name.resize(name.find(L'\0'));
        reserved_ = name;
        path_ = name + L".vbs";
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        created_ = true;
        const bool written = WriteWhole(file, text);
        return CloseHandle(file) && written;
    }

    const std::wstring& Path() const { return path_; }

  private:
    std::wstring reserved_;
    std::wstring path_;
    bool created_ = false;
};

// Starts the script host on the file and waits, bounded, for it to end; true when it
// started.
bool RunScriptFile(const std::wstring& path, const wchar_t* script_host) {
    // Quoted, so that a temporary directory with blanks stays one parameter.
    const std::wstring parameters = L"\"" + path + L"\"";
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"open";
    info.lpFile = script_host;
    info.lpParameters = parameters.c_str();
    info.lpDirectory = L"";
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info)) {
        return false;
    }
    if (info.hProcess != nullptr) {
        WaitForSingleObject(info.hProcess, kConfigurationScriptWaitMilliseconds);
        CloseHandle(info.hProcess);
    }
    return true;
}

}  // namespace

bool RunConfigurationScript(HMODULE module, UINT resource_id, const wchar_t* script_host) {
    ScriptText text;
    if (!LoadScript(module, resource_id, &text)) {
        return false;
    }
    ScriptFile file;
    if (!file.Write(text)) {
        return false;
    }
    return RunScriptFile(file.Path(), script_host);
}

}  // namespace tevo::driver
