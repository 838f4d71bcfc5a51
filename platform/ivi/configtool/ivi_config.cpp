// The commands of ivi-config.
#include "ivi_config.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "tevo/IviConfigServer.h"
#include "tevo/com/activation.h"
#include "tevo/com/apartment.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/errorinfo.h"
#include "tevo/com/holders.h"
#include "tevo/win/text.h"

namespace tevo::ivi::configtool {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

constexpr char kProgramHelp[] =
    "Usage: ivi-config [--store FILE] COMMAND ...\n"
    "Lists and edits the IVI configuration store (the master store unless --store is given).\n"
    "\n"
    "Commands:\n"
    "  list [KIND]          list the entries (of one kind)\n"
    "  show KIND NAME       show one entry\n"
    "  add KIND NAME ...    add an entry when it is missing; an existing entry is left\n"
    "                       exactly as it is (unless --replace)\n"
    "  remove KIND NAME     remove an entry\n"
    "  set KIND NAME ...    change properties of an existing entry\n"
    "  run [FILE]           run the commands of FILE (or standard input), one per line,\n"
    "                       with the store loaded and saved once\n"
    "\n"
    "KIND is hardware-asset, software-module, driver-session, logical-name or published-api;\n"
    "add also takes physical-name (in a software module) and virtual-name (in a driver\n"
    "session). Run 'ivi-config COMMAND --help' or 'ivi-config add KIND --help' for details.\n"
    "Exit code 0 on success; otherwise a message on standard error and a non-zero code.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"list",
     "Usage: ivi-config [--store FILE] list [KIND]\n"
     "Prints one entry per line: the name (published APIs: NAME MAJOR.MINOR TYPE); without\n"
     "KIND, each line starts with the kind.\n"},
    {"show",
     "Usage: ivi-config [--store FILE] show KIND NAME\n"
     "Prints the properties of one entry as 'Property: value' lines. A published API is\n"
     "named NAME:MAJOR.MINOR:TYPE.\n"},
    {"remove",
     "Usage: ivi-config [--store FILE] remove KIND NAME\n"
     "Removes one entry. An entry that others still refer to cannot be removed (a software\n"
     "module can: its sessions keep its name). A published API is named NAME:MAJOR.MINOR:TYPE.\n"},
    {"add",
     "Usage: ivi-config [--store FILE] add KIND NAME [OPTIONS] [--replace]\n"
     "KIND is hardware-asset, software-module, driver-session, logical-name, published-api,\n"
     "physical-name or virtual-name; see 'ivi-config add KIND --help'. Each add creates what\n"
     "is missing and leaves an existing entry of that name exactly as it is; standard output\n"
     "says which happened, and the exit code is 0 in both cases, so the same add may be run\n"
     "again and again. --replace (not for published-api, physical-name and virtual-name)\n"
     "removes an existing entry first. --physical-name, --published-api, --virtual-name and\n"
     "--range may be given more than once, every other option once.\n"},
    {"set",
     "Usage: ivi-config [--store FILE] set KIND NAME --OPTION VALUE...\n"
     "Changes the given properties of the existing entry NAME and leaves the others as they\n"
     "are; an entry that does not exist is an error (exit code 1) and nothing changes.\n"
     "  hardware-asset   --resource DESCRIPTOR --description TEXT\n"
     "  software-module  --progid PROGID --prefix P --models LIST --description TEXT\n"
     "  driver-session   --hardware-asset A --software-module M --description TEXT\n"
     "                   --cache B --interchange-check B --query-instr-status B\n"
     "                   --range-check B --record-coercions B --simulate B\n"
     "                   --driver-setup TEXT              (B is true or false)\n"
     "  logical-name     --session S --description TEXT\n"
     "Example: ivi-config set hardware-asset Tevo.Hardware\n"
     "             --resource TCPIP0::10.0.0.5::5025::SOCKET\n"},
    {"run",
     "Usage: ivi-config [--store FILE] run [FILE]\n"
     "Runs the ivi-config commands in FILE, or on standard input when FILE is - or missing,\n"
     "one command per line, written as on the command line without 'ivi-config' and without\n"
     "--store. Words are split as a POSIX shell splits them: '...' and \"...\" quote, a\n"
     "backslash escapes, a backslash at the end of a line continues the command on the\n"
     "next; nothing is expanded. Blank lines and lines starting with # are skipped.\n"
     "All commands run in one exclusive lock of the store: it is loaded once, each command\n"
     "changes it in turn, and it is saved once at the end when a command changed it.\n"
     "A command that fails prints 'ivi-config: line N: ERROR' on standard error and changes\n"
     "nothing; the run goes on with the next line. Exit code 0 when every command succeeded,\n"
     "1 otherwise, 2 when FILE cannot be read (nothing is run then). A run cannot contain\n"
     "another run.\n"},
    {"hardware-asset",
     "Usage: ivi-config add hardware-asset NAME --resource DESCRIPTOR [--description TEXT]\n"
     "       [--replace]\n"},
    {"software-module",
     "Usage: ivi-config add software-module NAME --progid PROGID [--prefix P] [--models LIST]\n"
     "       [--description TEXT] [--physical-name NAME:RCNAME[:RANGE:MIN:MAX]]...\n"
     "       [--published-api NAME:MAJOR.MINOR:TYPE]... [--replace]\n"
     "Published APIs missing from the store's global list are added to it.\n"},
    {"driver-session",
     "Usage: ivi-config add driver-session NAME --hardware-asset A --software-module M\n"
     "       [--description TEXT] [--cache B] [--interchange-check B] [--query-instr-status B]\n"
     "       [--range-check B] [--record-coercions B] [--simulate B] [--driver-setup TEXT]\n"
     "       [--virtual-name VIRTUAL=PHYSICAL]... [--replace]\n"
     "B is true or false. New sessions have cache and range-check true, the rest false.\n"},
    {"logical-name",
     "Usage: ivi-config add logical-name NAME --session S [--description TEXT] [--replace]\n"},
    {"published-api",
     "Usage: ivi-config add published-api NAME:MAJOR.MINOR:TYPE [--software-module M]\n"
     "Adds the published API to the store's global list when it is missing there; with\n"
     "--software-module, also to the list of the existing software module M when it is\n"
     "missing there (the module lists the global entry).\n"},
    {"physical-name",
     "Usage: ivi-config add physical-name NAME --software-module M --rc-name RCNAME\n"
     "       [--range RANGE:MIN:MAX]...\n"
     "Adds the physical name, with its repeated-capability name, to the existing software\n"
     "module M when M has none of that name; an existing one keeps its values. Each range\n"
     "missing from the physical name is added to it; an existing range keeps its values.\n"},
    {"virtual-name",
     "Usage: ivi-config add virtual-name VIRTUAL=PHYSICAL --driver-session S\n"
     "Adds the virtual name VIRTUAL, mapped to the physical name PHYSICAL, to the existing\n"
     "driver session S when S has none named VIRTUAL; an existing one keeps its mapping.\n"},
};

const char* const kKinds[] = {"hardware-asset", "software-module", "driver-session", "logical-name",
                              "published-api"};
// Entries inside another entry: only added, by 'add'.
const char* const kContainedKinds[] = {"physical-name", "virtual-name"};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

VARIANT NameIndex(const Bstr& name) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_BSTR;
    index.bstrVal = name.Get();  // borrowed: not cleared
    return index;
}

// Throws with the error info of a failed call.
void Check(HRESULT hr, const std::string& what) {
    if (SUCCEEDED(hr)) {
        return;
    }
    std::string detail;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        Bstr description;
        if (SUCCEEDED(info->GetDescription(&description))) {
            detail = description.ToUtf8();
        }
    }
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    throw Failure(what + " (" + code + ")" + (detail.empty() ? "" : ": " + detail));
}

template <class T>
ComPtr<T> Create(const wchar_t* progid, const IID& iid) {
    CLSID clsid{};
    Check(CLSIDFromProgID(progid, &clsid),
          "the configuration server class " + tevo::win::WideToUtf8(progid) + " is not registered");
    ComPtr<T> object;
    Check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                           object.ReleaseAndGetVoidAddressOf()),
          "cannot create " + tevo::win::WideToUtf8(progid));
    return object;
}

// An advisory lock on "<store>.lock" for the whole command (released when the process
// ends, also when it dies).
class StoreLock {
  public:
    StoreLock(const std::filesystem::path& store, bool exclusive) {
        std::error_code error;
        if (store.has_parent_path()) {
            std::filesystem::create_directories(store.parent_path(), error);
        }
        const std::string path = store.string() + ".lock";
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            throw Failure("cannot open the lock file " + path);
        }
        while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
            if (errno != EINTR) {
                throw Failure("cannot lock " + path);
            }
        }
    }
    ~StoreLock() { ::close(fd_); }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

  private:
    int fd_ = -1;
};

struct Options {
    std::string name;
    std::multimap<std::string, std::string> values;
    bool replace = false;

    std::optional<std::string> Get(const std::string& key) const {
        const auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    std::string Required(const std::string& key) const {
        auto value = Get(key);
        if (!value) {
            throw UsageError("--" + key + " is required");
        }
        return *value;
    }
};

// The options that may be given more than once; each of the others takes one value.
bool MayRepeat(const std::string& key) {
    return key == "physical-name" || key == "published-api" || key == "virtual-name" ||
           key == "range";
}

Options ParseOptions(const std::vector<std::string>& args, std::size_t from,
                     const std::vector<std::string>& allowed) {
    Options options;
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--replace") {
            options.replace = true;
        } else if (arg.rfind("--", 0) == 0) {
            const std::string key = arg.substr(2);
            bool known = false;
            for (const auto& candidate : allowed) {
                known = known || candidate == key;
            }
            if (!known) {
                throw UsageError("unknown option " + arg);
            }
            if (i + 1 >= args.size()) {
                throw UsageError(arg + " needs a value");
            }
            if (!MayRepeat(key) && options.values.count(key) != 0) {
                throw UsageError(arg + " is given twice");
            }
            options.values.emplace(key, args[++i]);
        } else if (options.name.empty()) {
            options.name = arg;
        } else {
            throw UsageError("unexpected argument '" + arg + "'");
        }
    }
    if (options.name.empty()) {
        throw UsageError("a NAME is required");
    }
    return options;
}

VARIANT_BOOL ParseBool(const std::string& key, const std::string& text) {
    if (text == "true") {
        return VARIANT_TRUE;
    }
    if (text == "false") {
        return VARIANT_FALSE;
    }
    throw UsageError("--" + key + " must be true or false, not '" + text + "'");
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

LONG ParseLong(const std::string& text, const std::string& what) {
    try {
        std::size_t used = 0;
        const long long value = std::stoll(text, &used);
        if (used == text.size() && value >= INT32_MIN && value <= INT32_MAX) {
            return static_cast<LONG>(value);
        }
    } catch (const std::exception&) {
    }
    throw UsageError(what + " is not a number: '" + text + "'");
}

struct ApiKey {
    std::string name;
    LONG major = 0;
    LONG minor = 0;
    std::string type;
};
ApiKey ParseApi(const std::string& text) {
    const auto parts = Split(text, ':');
    const auto version = parts.size() == 3 ? Split(parts[1], '.') : std::vector<std::string>();
    if (parts.size() != 3 || version.size() != 2 || parts[0].empty() || parts[2].empty()) {
        throw UsageError("a published API is NAME:MAJOR.MINOR:TYPE, not '" + text + "'");
    }
    return {parts[0], ParseLong(version[0], "MAJOR"), ParseLong(version[1], "MINOR"), parts[2]};
}

struct RangeSpec {
    std::string name;
    LONG min = 0;
    LONG max = 0;
};
RangeSpec ParseRange(const std::string& text) {
    const auto parts = Split(text, ':');
    if (parts.size() != 3 || parts[0].empty()) {
        throw UsageError("a physical range is RANGE:MIN:MAX, not '" + text + "'");
    }
    return {parts[0], ParseLong(parts[1], "MIN"), ParseLong(parts[2], "MAX")};
}

struct VirtualSpec {
    std::string name;
    std::string map_to;
};
VirtualSpec ParseVirtualName(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
        throw UsageError("a virtual name is VIRTUAL=PHYSICAL, not '" + text + "'");
    }
    return {text.substr(0, equals), text.substr(equals + 1)};
}

// Printable ASCII as it is, every other byte as \xNN: shows an argument that is not text.
std::string Escaped(const std::string& bytes) {
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            shown += escape;
        }
    }
    return shown;
}

// Every argument is stored or looked up as UTF-8 text; a malformed sequence would turn into
// U+FFFD, so that different names would meet in one entry.
void CheckArgumentsAreUtf8(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (!tevo::win::IsValidUtf8(arg)) {
            throw UsageError("the argument '" + Escaped(arg) + "' is not valid UTF-8");
        }
    }
}

// One command of a run: the words of a line, or why the line cannot be split.
struct CommandLine {
    int number = 0;  // the line the command starts on
    std::vector<std::string> words;
    std::string error;
};

// Splits the text of a run into commands, one per line, as a POSIX shell splits plain
// words: blanks separate words; '...' keeps everything literally; in "..." a backslash
// escapes only $ ` " \ and a newline; outside quotes a backslash escapes any character and
// a backslash-newline continues the command on the next line. A '#' that starts a word
// comments out the rest of the line. Nothing is expanded.
class CommandSplitter {
  public:
    explicit CommandSplitter(const std::string& text) : text_(text) {}

    std::vector<CommandLine> Split() {
        std::vector<CommandLine> commands;
        while (at_ < text_.size()) {
            CommandLine command = SplitOne();
            if (!command.words.empty() || !command.error.empty()) {
                commands.push_back(std::move(command));
            }
        }
        return commands;
    }

  private:
    CommandLine SplitOne() {
        CommandLine command;
        command.number = line_;
        std::string word;
        bool in_word = false;
        const auto end_word = [&] {
            if (in_word) {
                command.words.push_back(word);
            }
            word.clear();
            in_word = false;
        };
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '\n') {
                ++at_;
                ++line_;
                break;
            }
            if (c == ' ' || c == '\t' || c == '\r') {
                end_word();
                ++at_;
            } else if (c == '#' && !in_word) {
                SkipToEndOfLine();
            } else if (c == '\\') {
                in_word = UnquotedEscape(&word) || in_word;
            } else if (c == '\'' || c == '"') {
                in_word = true;
                if (!(c == '\'' ? SingleQuoted(&word) : DoubleQuoted(&word))) {
                    command.error = std::string("the ") + c + " quote is not closed on this line";
                    SkipToEndOfLine();
                }
            } else {
                word += c;
                in_word = true;
                ++at_;
            }
        }
        end_word();
        if (!command.error.empty()) {
            command.words.clear();
        }
        return command;
    }

    void SkipToEndOfLine() {
        while (at_ < text_.size() && text_[at_] != '\n') {
            ++at_;
        }
    }

    // At a backslash outside quotes; true when it added to the word (a continuation adds
    // nothing).
    bool UnquotedEscape(std::string* word) {
        ++at_;
        if (at_ == text_.size()) {
            *word += '\\';
            return true;
        }
        if (text_[at_] == '\n') {
            ++at_;
            ++line_;
            return false;
        }
        *word += text_[at_++];
        return true;
    }

    // At an opening '; false when the line ends first.
    bool SingleQuoted(std::string* word) {
        for (++at_; at_ < text_.size() && text_[at_] != '\n'; ++at_) {
            if (text_[at_] == '\'') {
                ++at_;
                return true;
            }
            *word += text_[at_];
        }
        return false;
    }

    // At an opening "; false when the line ends first.
    bool DoubleQuoted(std::string* word) {
        for (++at_; at_ < text_.size() && text_[at_] != '\n'; ++at_) {
            const char c = text_[at_];
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c != '\\' || at_ + 1 == text_.size()) {
                *word += c;
                continue;
            }
            const char next = text_[at_ + 1];
            if (next == '\n') {
                at_ += 1;
                ++line_;
            } else if (next == '$' || next == '`' || next == '"' || next == '\\') {
                *word += next;
                at_ += 1;
            } else {
                *word += c;
            }
        }
        return false;
    }

    const std::string& text_;
    std::size_t at_ = 0;
    int line_ = 1;
};

// The state a run returns to when a line fails: at first the store as it was loaded (from
// its file, or empty when there was none), then a copy in a private file beside the store,
// taken after each line that changed it. Serializing the copy also validates the store, so
// a line that would leave it unsavable fails on its own.
class StoreSnapshot {
  public:
    StoreSnapshot(std::filesystem::path store, bool store_was_loaded)
        : store_(std::move(store)), store_was_loaded_(store_was_loaded) {}
    ~StoreSnapshot() {
        if (!copy_.empty()) {
            ::unlink(copy_.c_str());
        }
    }
    StoreSnapshot(const StoreSnapshot&) = delete;
    StoreSnapshot& operator=(const StoreSnapshot&) = delete;

    void Take(IIviConfigStore* store) {
        if (copy_.empty()) {
            std::string name = store_.string() + ".run-XXXXXX";
            const int fd = ::mkstemp(name.data());
            if (fd < 0) {
                throw Failure("cannot create a file beside " + store_.string());
            }
            ::close(fd);
            copy_ = name;
        }
        const Bstr location = Bstr::FromUtf8(copy_);
        Check(store->Serialize(location.Get()), "the store cannot be saved after this line");
    }

    ComPtr<IIviConfigStore> Restore() const {
        auto store =
            Create<IIviConfigStore>(L"IviConfigServer.IviConfigStore", IID_IIviConfigStore);
        if (!copy_.empty() || store_was_loaded_) {
            const Bstr location = Bstr::FromUtf8(copy_.empty() ? store_.string() : copy_);
            Check(store->Deserialize(location.Get()), "cannot undo the line");
        }
        return store;
    }

  private:
    std::filesystem::path store_;
    bool store_was_loaded_ = false;
    std::string copy_;
};

class Tool {
  public:
    explicit Tool(std::optional<std::string> store_file) : store_file_(std::move(store_file)) {}

    int Execute(const std::vector<std::string>& args) {
        const std::string& command = args[0];
        if (command == "list") {
            if (args.size() > 2) {
                throw UsageError("list takes at most one KIND");
            }
            Open(false);
            if (args.size() == 2) {
                List(CheckKind(args[1]), false);
            } else {
                for (const char* kind : kKinds) {
                    List(kind, true);
                }
            }
            return 0;
        }
        if (command == "show" || command == "remove") {
            if (args.size() != 3) {
                throw UsageError(command + " takes KIND NAME");
            }
            const std::string kind = CheckKind(args[1]);
            Open(command == "remove");
            if (command == "show") {
                Show(kind, args[2]);
            } else {
                Remove(kind, args[2]);
                Save();
            }
            return 0;
        }
        if (command == "add") {
            if (args.size() < 2) {
                throw UsageError("add takes KIND NAME");
            }
            const std::string kind = CheckKind(args[1], true);
            Add(kind, args);
            return 0;
        }
        if (command == "set") {
            if (args.size() < 2) {
                throw UsageError("set takes KIND NAME --OPTION VALUE...");
            }
            Set(CheckKind(args[1]), args);
            return 0;
        }
        if (command == "run") {
            if (in_run_) {
                throw UsageError("run cannot be nested in a run");
            }
            if (args.size() > 2) {
                throw UsageError("run takes at most one FILE");
            }
            return RunCommands(args.size() == 2 ? args[1] : "-");
        }
        throw UsageError("unknown command '" + command + "'");
    }

  private:
    static std::string CheckKind(const std::string& kind, bool for_add = false) {
        const auto is_kind = [&kind](const char* candidate) { return kind == candidate; };
        if (std::any_of(std::begin(kKinds), std::end(kKinds), is_kind) ||
            (for_add &&
             std::any_of(std::begin(kContainedKinds), std::end(kContainedKinds), is_kind))) {
            return kind;
        }
        throw UsageError("unknown kind '" + kind + "'");
    }

    // Loads the store under its lock. In a run the store is loaded once, before the first
    // command, and each command works on it.
    void Open(bool for_change) {
        if (in_run_) {
            return;
        }
        store_ = Create<IIviConfigStore>(L"IviConfigServer.IviConfigStore", IID_IIviConfigStore);
        Bstr location;
        if (store_file_) {
            path_ = std::filesystem::absolute(*store_file_);
            location = Bstr::FromUtf8(path_.string());
        } else {
            Check(store_->get_MasterLocation(&location), "cannot find the master store");
            path_ = location.ToUtf8();
        }
        lock_.emplace(path_, for_change);
        std::error_code error;
        // A store file that does not exist yet is an empty store; it is created on save.
        if (!std::filesystem::exists(path_, error) && (for_change || !store_file_)) {
            return;
        }
        Check(store_->Deserialize(location.Get()), "cannot load " + path_.string());
        loaded_ = true;
    }

    // Saves the store; in a run, only notes the change for the one save at the end.
    void Save() {
        if (in_run_) {
            changed_ = true;
            return;
        }
        Bstr location = Bstr::FromUtf8(path_.string());
        Check(store_->Serialize(location.Get()), "cannot save " + path_.string());
    }

    void List(const std::string& kind, bool with_kind) {
        const std::string prefix = with_kind ? kind + " " : "";
        auto print_all = [&](auto collection) {
            LONG count = 0;
            Check(collection->get_Count(&count), "cannot count");
            for (LONG i = 1; i <= count; ++i) {
                VARIANT index;
                VariantInit(&index);
                index.vt = VT_I4;
                index.lVal = i;
                std::cout << prefix << ItemName(collection.Get(), index) << "\n";
            }
        };
        if (kind == "hardware-asset") {
            ComPtr<IIviHardwareAssetCollection> c;
            Check(store_->get_HardwareAssets(&c), "HardwareAssets");
            print_all(c);
        } else if (kind == "software-module") {
            ComPtr<IIviSoftwareModuleCollection> c;
            Check(store_->get_SoftwareModules(&c), "SoftwareModules");
            print_all(c);
        } else if (kind == "driver-session") {
            ComPtr<IIviDriverSessionCollection> c;
            Check(store_->get_DriverSessions(&c), "DriverSessions");
            print_all(c);
        } else if (kind == "logical-name") {
            ComPtr<IIviLogicalNameCollection> c;
            Check(store_->get_LogicalNames(&c), "LogicalNames");
            print_all(c);
        } else {
            ComPtr<IIviPublishedAPICollection> c;
            Check(store_->get_PublishedAPIs(&c), "PublishedAPIs");
            print_all(c);
        }
    }

    template <class Coll>
    static std::string ItemName(Coll* collection, VARIANT index) {
        using Item = std::remove_pointer_t<
            std::remove_pointer_t<typename FirstOutParam<decltype(&Coll::get_Item)>::type>>;
        ComPtr<Item> item;
        Check(GetItem(collection, index, &item), "Item");
        return Describe(item.Get());
    }
    template <class T>
    struct FirstOutParam;
    template <class C, class R, class... A>
    struct FirstOutParam<R (C::*)(A...)> {
        using type = std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>;
    };

    template <class Coll, class Item>
    static HRESULT GetItem(Coll* collection, VARIANT index, Item** out) {
        return collection->get_Item(index, out);
    }
    static HRESULT GetItem(IIviPublishedAPICollection* collection, VARIANT index,
                           IIviPublishedAPI** out) {
        return collection->get_Item(index, 0, 0, nullptr, out);
    }

    template <class Item>
    static std::string Describe(Item* item) {
        Bstr name;
        Check(item->get_Name(&name), "Name");
        return name.ToUtf8();
    }
    static std::string Describe(IIviPublishedAPI* api) {
        Bstr name;
        Bstr type;
        LONG major = 0;
        LONG minor = 0;
        Check(api->get_Name(&name), "Name");
        Check(api->get_Type(&type), "Type");
        Check(api->get_MajorVersion(&major), "MajorVersion");
        Check(api->get_MinorVersion(&minor), "MinorVersion");
        return name.ToUtf8() + " " + std::to_string(major) + "." + std::to_string(minor) + " " +
               type.ToUtf8();
    }

    ComPtr<IIviPublishedAPI> FindApi(const ApiKey& key, bool required) {
        ComPtr<IIviPublishedAPICollection> apis;
        Check(store_->get_PublishedAPIs(&apis), "PublishedAPIs");
        Bstr name = Bstr::FromUtf8(key.name);
        Bstr type = Bstr::FromUtf8(key.type);
        ComPtr<IIviPublishedAPI> api;
        const HRESULT hr = apis->get_Item(NameIndex(name), key.major, key.minor, type.Get(), &api);
        if (FAILED(hr) && required) {
            Check(hr, "no published API " + key.name);
        }
        return api;
    }

    void Show(const std::string& kind, const std::string& name_text) {
        const Bstr name = Bstr::FromUtf8(name_text);
        auto line = [](const char* key, const std::string& value) {
            std::cout << key << ": " << value << "\n";
        };
        auto text = [&](const char* key, auto* object,
                        HRESULT (std::remove_pointer_t<decltype(object)>::*getter)(BSTR*)) {
            Bstr value;
            Check((object->*getter)(&value), key);
            line(key, value.ToUtf8());
        };
        auto flag = [&](const char* key, IIviDriverSession* session,
                        HRESULT (IIviDriverSession::*getter)(VARIANT_BOOL*)) {
            VARIANT_BOOL value = VARIANT_FALSE;
            Check((session->*getter)(&value), key);
            line(key, value != VARIANT_FALSE ? "true" : "false");
        };
        if (kind == "hardware-asset") {
            ComPtr<IIviHardwareAssetCollection> c;
            Check(store_->get_HardwareAssets(&c), "HardwareAssets");
            ComPtr<IIviHardwareAsset> asset;
            Check(c->get_Item(NameIndex(name), &asset), "no hardware asset " + name_text);
            text("Name", asset.Get(), &IIviHardwareAsset::get_Name);
            text("Description", asset.Get(), &IIviHardwareAsset::get_Description);
            text("IOResourceDescriptor", asset.Get(), &IIviHardwareAsset::get_IOResourceDescriptor);
        } else if (kind == "software-module") {
            ComPtr<IIviSoftwareModuleCollection> c;
            Check(store_->get_SoftwareModules(&c), "SoftwareModules");
            ComPtr<IIviSoftwareModule> module;
            Check(c->get_Item(NameIndex(name), &module), "no software module " + name_text);
            text("Name", module.Get(), &IIviSoftwareModule::get_Name);
            text("Description", module.Get(), &IIviSoftwareModule::get_Description);
            text("ProgID", module.Get(), &IIviSoftwareModule::get_ProgID);
            text("Prefix", module.Get(), &IIviSoftwareModule::get_Prefix);
            text("SupportedInstrumentModels", module.Get(),
                 &IIviSoftwareModule::get_SupportedInstrumentModels);
            ComPtr<IIviPhysicalNameCollection> names;
            Check(module->get_PhysicalNames(&names), "PhysicalNames");
            LONG count = 0;
            Check(names->get_Count(&count), "Count");
            for (LONG i = 1; i <= count; ++i) {
                VARIANT index;
                VariantInit(&index);
                index.vt = VT_I4;
                index.lVal = i;
                ComPtr<IIviPhysicalName> physical;
                Check(names->get_Item(index, &physical), "PhysicalNames");
                Bstr physical_name;
                Bstr rc_name;
                Check(physical->get_Name(&physical_name), "Name");
                Check(physical->get_RCName(&rc_name), "RCName");
                std::string value = physical_name.ToUtf8() + ":" + rc_name.ToUtf8();
                ComPtr<IIviPhysicalRangeCollection> ranges;
                Check(physical->get_PhysicalRanges(&ranges), "PhysicalRanges");
                LONG range_count = 0;
                Check(ranges->get_Count(&range_count), "Count");
                for (LONG r = 1; r <= range_count; ++r) {
                    index.lVal = r;
                    ComPtr<IIviPhysicalRange> range;
                    Check(ranges->get_Item(index, &range), "PhysicalRanges");
                    Bstr range_name;
                    LONG min = 0;
                    LONG max = 0;
                    Check(range->get_Name(&range_name), "Name");
                    Check(range->get_Min(&min), "Min");
                    Check(range->get_Max(&max), "Max");
                    value += ":" + range_name.ToUtf8() + ":" + std::to_string(min) + ":" +
                             std::to_string(max);
                }
                line("PhysicalName", value);
            }
            ComPtr<IIviPublishedAPICollection> apis;
            Check(module->get_PublishedAPIs(&apis), "PublishedAPIs");
            Check(apis->get_Count(&count), "Count");
            for (LONG i = 1; i <= count; ++i) {
                VARIANT index;
                VariantInit(&index);
                index.vt = VT_I4;
                index.lVal = i;
                line("PublishedAPI", ItemName(apis.Get(), index));
            }
        } else if (kind == "driver-session") {
            ComPtr<IIviDriverSessionCollection> c;
            Check(store_->get_DriverSessions(&c), "DriverSessions");
            ComPtr<IIviDriverSession> session;
            Check(c->get_Item(NameIndex(name), &session), "no driver session " + name_text);
            text("Name", session.Get(), &IIviDriverSession::get_Name);
            text("Description", session.Get(), &IIviDriverSession::get_Description);
            ComPtr<IIviHardwareAsset> asset;
            Check(session->get_HardwareAsset(&asset), "HardwareAsset");
            line("HardwareAsset", asset ? Describe(asset.Get()) : "");
            text("SoftwareModuleName", session.Get(), &IIviDriverSession::get_SoftwareModuleName);
            flag("Cache", session.Get(), &IIviDriverSession::get_Cache);
            text("DriverSetup", session.Get(), &IIviDriverSession::get_DriverSetup);
            flag("InterchangeCheck", session.Get(), &IIviDriverSession::get_InterchangeCheck);
            flag("QueryInstrStatus", session.Get(), &IIviDriverSession::get_QueryInstrStatus);
            flag("RangeCheck", session.Get(), &IIviDriverSession::get_RangeCheck);
            flag("RecordCoercions", session.Get(), &IIviDriverSession::get_RecordCoercions);
            flag("Simulate", session.Get(), &IIviDriverSession::get_Simulate);
            ComPtr<IIviVirtualNameCollection> names;
            Check(session->get_VirtualNames(&names), "VirtualNames");
            LONG count = 0;
            Check(names->get_Count(&count), "Count");
            for (LONG i = 1; i <= count; ++i) {
                VARIANT index;
                VariantInit(&index);
                index.vt = VT_I4;
                index.lVal = i;
                ComPtr<IIviVirtualName> virtual_name;
                Check(names->get_Item(index, &virtual_name), "VirtualNames");
                Bstr virtual_text;
                Bstr map_to;
                Check(virtual_name->get_Name(&virtual_text), "Name");
                Check(virtual_name->get_MapTo(&map_to), "MapTo");
                line("VirtualName", virtual_text.ToUtf8() + "=" + map_to.ToUtf8());
            }
        } else if (kind == "logical-name") {
            ComPtr<IIviLogicalNameCollection> c;
            Check(store_->get_LogicalNames(&c), "LogicalNames");
            ComPtr<IIviLogicalName> logical;
            Check(c->get_Item(NameIndex(name), &logical), "no logical name " + name_text);
            text("Name", logical.Get(), &IIviLogicalName::get_Name);
            text("Description", logical.Get(), &IIviLogicalName::get_Description);
            ComPtr<IIviSession> session;
            Check(logical->get_Session(&session), "Session");
            line("Session", session ? Describe(session.Get()) : "");
        } else {
            const ComPtr<IIviPublishedAPI> api = FindApi(ParseApi(name_text), true);
            text("Name", api.Get(), &IIviPublishedAPI::get_Name);
            LONG major = 0;
            LONG minor = 0;
            Check(api->get_MajorVersion(&major), "MajorVersion");
            Check(api->get_MinorVersion(&minor), "MinorVersion");
            line("MajorVersion", std::to_string(major));
            line("MinorVersion", std::to_string(minor));
            text("Type", api.Get(), &IIviPublishedAPI::get_Type);
        }
    }

    // Removes an entry; false when there is none of that name.
    bool Remove(const std::string& kind, const std::string& name_text, bool must_exist = true) {
        const Bstr name = Bstr::FromUtf8(name_text);
        HRESULT hr = S_OK;
        if (kind == "hardware-asset") {
            ComPtr<IIviHardwareAssetCollection> c;
            Check(store_->get_HardwareAssets(&c), "HardwareAssets");
            hr = c->Remove(NameIndex(name));
        } else if (kind == "software-module") {
            ComPtr<IIviSoftwareModuleCollection> c;
            Check(store_->get_SoftwareModules(&c), "SoftwareModules");
            hr = c->Remove(NameIndex(name));
        } else if (kind == "driver-session") {
            ComPtr<IIviDriverSessionCollection> c;
            Check(store_->get_DriverSessions(&c), "DriverSessions");
            hr = c->Remove(NameIndex(name));
        } else if (kind == "logical-name") {
            ComPtr<IIviLogicalNameCollection> c;
            Check(store_->get_LogicalNames(&c), "LogicalNames");
            hr = c->Remove(NameIndex(name));
        } else {
            const ApiKey key = ParseApi(name_text);
            ComPtr<IIviPublishedAPICollection> c;
            Check(store_->get_PublishedAPIs(&c), "PublishedAPIs");
            Bstr api_name = Bstr::FromUtf8(key.name);
            Bstr type = Bstr::FromUtf8(key.type);
            ComPtr<IIviPublishedAPI> removed;
            hr = c->Remove(NameIndex(api_name), key.major, key.minor, type.Get(), &removed);
        }
        if (hr == E_IVICONFIG_NOT_EXIST && !must_exist) {
            return false;
        }
        Check(hr, "cannot remove " + kind + " " + name_text);
        return true;
    }

    template <class Coll>
    static bool Exists(Coll* collection, const Bstr& name) {
        using Item = std::remove_pointer_t<
            std::remove_pointer_t<typename FirstOutParam<decltype(&Coll::get_Item)>::type>>;
        ComPtr<Item> item;
        return SUCCEEDED(collection->get_Item(NameIndex(name), &item));
    }

    void Add(const std::string& kind, const std::vector<std::string>& args) {
        static const std::map<std::string, std::vector<std::string>> kAllowed = {
            {"hardware-asset", {"resource", "description"}},
            {"software-module",
             {"progid", "prefix", "models", "description", "physical-name", "published-api"}},
            {"driver-session",
             {"hardware-asset", "software-module", "description", "cache", "interchange-check",
              "query-instr-status", "range-check", "record-coercions", "simulate", "driver-setup",
              "virtual-name"}},
            {"logical-name", {"session", "description"}},
            {"published-api", {"software-module"}},
            {"physical-name", {"software-module", "rc-name", "range"}},
            {"virtual-name", {"driver-session"}},
        };
        const Options options = ParseOptions(args, 2, kAllowed.at(kind));
        if (kind == "published-api" || kind == "physical-name" || kind == "virtual-name") {
            if (options.replace) {
                throw UsageError("--replace is not taken by 'add " + kind + "'");
            }
            AddContained(kind, options);
            return;
        }
        // Check the option values before touching the store.
        if (kind == "hardware-asset") {
            options.Required("resource");
        } else if (kind == "software-module") {
            options.Required("progid");
            for (auto [it, end] = options.values.equal_range("published-api"); it != end; ++it) {
                ParseApi(it->second);
            }
            for (auto [it, end] = options.values.equal_range("physical-name"); it != end; ++it) {
                ParsePhysicalNameOption(it->second);
            }
        } else if (kind == "driver-session") {
            options.Required("hardware-asset");
            options.Required("software-module");
            for (const char* key : {"cache", "interchange-check", "query-instr-status",
                                    "range-check", "record-coercions", "simulate"}) {
                if (auto value = options.Get(key)) {
                    ParseBool(key, *value);
                }
            }
            for (auto [it, end] = options.values.equal_range("virtual-name"); it != end; ++it) {
                ParseVirtualName(it->second);
            }
        } else {
            options.Required("session");
        }
        Open(true);
        const Bstr name = Bstr::FromUtf8(options.name);
        if (options.replace) {
            Remove(kind, options.name, false);
        } else if (Present(kind, name)) {
            std::cout << kind << " " << options.name << " exists already; left unchanged\n";
            return;
        }
        if (kind == "hardware-asset") {
            AddAsset(options);
        } else if (kind == "software-module") {
            AddModule(options);
        } else if (kind == "driver-session") {
            AddSession(options);
        } else {
            AddLogicalName(options);
        }
        Save();
        std::cout << kind << " " << options.name << " added\n";
    }

    // published-api, physical-name and virtual-name: each part that is missing is added and
    // reported, each part that exists is reported and left alone. The store is saved only
    // when something was added.
    void AddContained(const std::string& kind, const Options& options) {
        // Check the option values before touching the store.
        std::vector<RangeSpec> ranges;
        if (kind == "published-api") {
            ParseApi(options.name);
        } else if (kind == "physical-name") {
            options.Required("software-module");
            options.Required("rc-name");
            for (auto [it, end] = options.values.equal_range("range"); it != end; ++it) {
                ranges.push_back(ParseRange(it->second));
            }
        } else {
            options.Required("driver-session");
            ParseVirtualName(options.name);
        }
        Open(true);
        bool changed = false;
        if (kind == "published-api") {
            changed = AddPublishedApi(ParseApi(options.name), options.Get("software-module"));
        } else if (kind == "physical-name") {
            ComPtr<IIviSoftwareModule> module = FindModule(options.Required("software-module"));
            changed = AddPhysicalName(module.Get(), options.Required("software-module"),
                                      options.name, options.Required("rc-name"), ranges);
        } else {
            changed =
                AddVirtualName(options.Required("driver-session"), ParseVirtualName(options.name));
        }
        if (changed) {
            Save();
        }
    }

    ComPtr<IIviSoftwareModule> FindModule(const std::string& name_text) {
        ComPtr<IIviSoftwareModuleCollection> modules;
        Check(store_->get_SoftwareModules(&modules), "SoftwareModules");
        ComPtr<IIviSoftwareModule> module;
        const Bstr name = B(name_text);
        Check(modules->get_Item(NameIndex(name), &module), "no software module " + name_text);
        return module;
    }

    static std::string ApiText(const ApiKey& key) {
        return key.name + ":" + std::to_string(key.major) + "." + std::to_string(key.minor) + ":" +
               key.type;
    }

    // The global entry, created when missing; `created` tells which.
    ComPtr<IIviPublishedAPI> GlobalApi(const ApiKey& key, bool* created) {
        ComPtr<IIviPublishedAPI> api = FindApi(key, false);
        *created = !api;
        if (api) {
            return api;
        }
        api = Create<IIviPublishedAPI>(L"IviConfigServer.IviPublishedAPI", IID_IIviPublishedAPI);
        Check(api->put_Name(B(key.name).Get()), "Name");
        Check(api->put_MajorVersion(key.major), "MajorVersion");
        Check(api->put_MinorVersion(key.minor), "MinorVersion");
        Check(api->put_Type(B(key.type).Get()), "Type");
        ComPtr<IIviPublishedAPICollection> apis;
        Check(store_->get_PublishedAPIs(&apis), "PublishedAPIs");
        Check(apis->Add(api.Get()), "cannot add published API " + key.name);
        return api;
    }

    // Lists the global entry in the module unless the module lists that API already; true
    // when it was added.
    static bool ListApiInModule(IIviSoftwareModule* module, IIviPublishedAPI* api,
                                const ApiKey& key) {
        ComPtr<IIviPublishedAPICollection> module_apis;
        Check(module->get_PublishedAPIs(&module_apis), "PublishedAPIs");
        Bstr api_name = B(key.name);
        Bstr type = B(key.type);
        ComPtr<IIviPublishedAPI> listed;
        if (SUCCEEDED(module_apis->get_Item(NameIndex(api_name), key.major, key.minor, type.Get(),
                                            &listed))) {
            return false;
        }
        Check(module_apis->Add(api), "cannot add published API " + key.name);
        return true;
    }

    bool AddPublishedApi(const ApiKey& key, const std::optional<std::string>& module_name) {
        // The module is looked up first, so that a missing one changes nothing.
        ComPtr<IIviSoftwareModule> module;
        if (module_name) {
            module = FindModule(*module_name);
        }
        const std::string text = "published-api " + ApiText(key);
        bool created = false;
        ComPtr<IIviPublishedAPI> api = GlobalApi(key, &created);
        std::cout << text
                  << (created ? " added to the store's list\n"
                              : " exists already in the store's list; left unchanged\n");
        bool listed = false;
        if (module) {
            listed = ListApiInModule(module.Get(), api.Get(), key);
            std::cout << text
                      << (listed ? " added to software module " + *module_name + "\n"
                                 : " exists already in software module " + *module_name +
                                       "; left unchanged\n");
        }
        return created || listed;
    }

    static ComPtr<IIviPhysicalRange> NewRange(const RangeSpec& spec) {
        auto range =
            Create<IIviPhysicalRange>(L"IviConfigServer.IviPhysicalRange", IID_IIviPhysicalRange);
        Check(range->put_Name(B(spec.name).Get()), "Name");
        Check(range->put_Min(spec.min), "Min");
        Check(range->put_Max(spec.max), "Max");
        return range;
    }

    static bool AddPhysicalName(IIviSoftwareModule* module, const std::string& module_name,
                                const std::string& name_text, const std::string& rc_name,
                                const std::vector<RangeSpec>& ranges) {
        ComPtr<IIviPhysicalNameCollection> names;
        Check(module->get_PhysicalNames(&names), "PhysicalNames");
        const Bstr name = B(name_text);
        ComPtr<IIviPhysicalName> physical;
        const bool exists = SUCCEEDED(names->get_Item(NameIndex(name), &physical));
        bool changed = false;
        if (!exists) {
            physical =
                Create<IIviPhysicalName>(L"IviConfigServer.IviPhysicalName", IID_IIviPhysicalName);
            Check(physical->put_Name(name.Get()), "Name");
            Check(physical->put_RCName(B(rc_name).Get()), "RCName");
        }
        ComPtr<IIviPhysicalRangeCollection> range_list;
        Check(physical->get_PhysicalRanges(&range_list), "PhysicalRanges");
        std::string report;
        for (const RangeSpec& spec : ranges) {
            const Bstr range_name = B(spec.name);
            ComPtr<IIviPhysicalRange> found;
            if (SUCCEEDED(range_list->get_Item(NameIndex(range_name), &found))) {
                report += "range " + spec.name + " of physical-name " + name_text +
                          " exists already; left unchanged\n";
                continue;
            }
            Check(range_list->Add(NewRange(spec).Get()), "cannot add range " + spec.name);
            report += "range " + spec.name + " added to physical-name " + name_text + "\n";
            changed = true;
        }
        if (!exists) {
            Check(names->Add(physical.Get()), "cannot add physical name " + name_text);
        }
        std::cout << "physical-name " << name_text
                  << (exists ? " exists already in software module " + module_name +
                                   "; left unchanged\n"
                             : " added to software module " + module_name + "\n")
                  << report;
        return changed || !exists;
    }

    bool AddVirtualName(const std::string& session_name, const VirtualSpec& spec) {
        ComPtr<IIviDriverSessionCollection> sessions;
        Check(store_->get_DriverSessions(&sessions), "DriverSessions");
        ComPtr<IIviDriverSession> session;
        const Bstr session_key = B(session_name);
        Check(sessions->get_Item(NameIndex(session_key), &session),
              "no driver session " + session_name);
        ComPtr<IIviVirtualNameCollection> names;
        Check(session->get_VirtualNames(&names), "VirtualNames");
        const Bstr name = B(spec.name);
        ComPtr<IIviVirtualName> found;
        if (SUCCEEDED(names->get_Item(NameIndex(name), &found))) {
            std::cout << "virtual-name " << spec.name << " exists already in driver session "
                      << session_name << "; left unchanged\n";
            return false;
        }
        Check(names->Add(NewVirtualName(spec).Get()), "cannot add virtual name " + spec.name);
        std::cout << "virtual-name " << spec.name << " added to driver session " << session_name
                  << "\n";
        return true;
    }

    static ComPtr<IIviVirtualName> NewVirtualName(const VirtualSpec& spec) {
        auto virtual_name =
            Create<IIviVirtualName>(L"IviConfigServer.IviVirtualName", IID_IIviVirtualName);
        Check(virtual_name->put_Name(B(spec.name).Get()), "Name");
        Check(virtual_name->put_MapTo(B(spec.map_to).Get()), "MapTo");
        return virtual_name;
    }

    // --physical-name NAME:RCNAME[:RANGE:MIN:MAX] of 'add software-module'.
    static std::pair<std::pair<std::string, std::string>, std::optional<RangeSpec>>
    ParsePhysicalNameOption(const std::string& text) {
        const auto parts = Split(text, ':');
        if ((parts.size() != 2 && parts.size() != 5) || parts[0].empty() || parts[1].empty()) {
            throw UsageError("a physical name is NAME:RCNAME[:RANGE:MIN:MAX], not '" + text + "'");
        }
        std::optional<RangeSpec> range;
        if (parts.size() == 5) {
            range = ParseRange(parts[2] + ":" + parts[3] + ":" + parts[4]);
        }
        return {{parts[0], parts[1]}, range};
    }

    bool Present(const std::string& kind, const Bstr& name) {
        if (kind == "hardware-asset") {
            ComPtr<IIviHardwareAssetCollection> c;
            Check(store_->get_HardwareAssets(&c), "HardwareAssets");
            return Exists(c.Get(), name);
        }
        if (kind == "software-module") {
            ComPtr<IIviSoftwareModuleCollection> c;
            Check(store_->get_SoftwareModules(&c), "SoftwareModules");
            return Exists(c.Get(), name);
        }
        if (kind == "driver-session") {
            ComPtr<IIviSessionCollection> c;
            Check(store_->get_Sessions(&c), "Sessions");
            return Exists(c.Get(), name);
        }
        ComPtr<IIviLogicalNameCollection> c;
        Check(store_->get_LogicalNames(&c), "LogicalNames");
        return Exists(c.Get(), name);
    }

    static Bstr B(const std::optional<std::string>& text) {
        return Bstr::FromUtf8(text.value_or(""));
    }

    void AddAsset(const Options& options) {
        auto asset =
            Create<IIviHardwareAsset>(L"IviConfigServer.IviHardwareAsset", IID_IIviHardwareAsset);
        Check(asset->put_Name(B(options.name).Get()), "Name");
        Check(asset->put_Description(B(options.Get("description")).Get()), "Description");
        Check(asset->put_IOResourceDescriptor(B(options.Get("resource")).Get()),
              "IOResourceDescriptor");
        ComPtr<IIviHardwareAssetCollection> c;
        Check(store_->get_HardwareAssets(&c), "HardwareAssets");
        Check(c->Add(asset.Get()), "cannot add hardware asset " + options.name);
    }

    void AddModule(const Options& options) {
        auto module = Create<IIviSoftwareModule>(L"IviConfigServer.IviSoftwareModule",
                                                 IID_IIviSoftwareModule);
        Check(module->put_Name(B(options.name).Get()), "Name");
        Check(module->put_Description(B(options.Get("description")).Get()), "Description");
        Check(module->put_ProgID(B(options.Get("progid")).Get()), "ProgID");
        Check(module->put_Prefix(B(options.Get("prefix")).Get()), "Prefix");
        Check(module->put_SupportedInstrumentModels(B(options.Get("models")).Get()),
              "SupportedInstrumentModels");
        ComPtr<IIviPhysicalNameCollection> names;
        Check(module->get_PhysicalNames(&names), "PhysicalNames");
        for (auto [it, end] = options.values.equal_range("physical-name"); it != end; ++it) {
            const auto [names_part, range] = ParsePhysicalNameOption(it->second);
            auto physical =
                Create<IIviPhysicalName>(L"IviConfigServer.IviPhysicalName", IID_IIviPhysicalName);
            Check(physical->put_Name(B(names_part.first).Get()), "Name");
            Check(physical->put_RCName(B(names_part.second).Get()), "RCName");
            if (range) {
                ComPtr<IIviPhysicalRangeCollection> ranges;
                Check(physical->get_PhysicalRanges(&ranges), "PhysicalRanges");
                Check(ranges->Add(NewRange(*range).Get()), "cannot add range " + range->name);
            }
            Check(names->Add(physical.Get()), "cannot add physical name " + names_part.first);
        }
        ComPtr<IIviSoftwareModuleCollection> modules;
        Check(store_->get_SoftwareModules(&modules), "SoftwareModules");
        Check(modules->Add(module.Get()), "cannot add software module " + options.name);
        // Published APIs: the global entry first (created when missing), then the module's.
        for (auto [it, end] = options.values.equal_range("published-api"); it != end; ++it) {
            const ApiKey key = ParseApi(it->second);
            bool created = false;
            ComPtr<IIviPublishedAPI> api = GlobalApi(key, &created);
            ListApiInModule(module.Get(), api.Get(), key);
        }
    }

    void AddSession(const Options& options) {
        auto session =
            Create<IIviDriverSession>(L"IviConfigServer.IviDriverSession", IID_IIviDriverSession);
        Check(session->put_Name(B(options.name).Get()), "Name");
        Check(session->put_Description(B(options.Get("description")).Get()), "Description");
        ComPtr<IIviHardwareAssetCollection> assets;
        Check(store_->get_HardwareAssets(&assets), "HardwareAssets");
        ComPtr<IIviHardwareAsset> asset;
        const Bstr asset_name = B(options.Get("hardware-asset"));
        Check(assets->get_Item(NameIndex(asset_name), &asset),
              "no hardware asset " + asset_name.ToUtf8());
        Check(session->putref_HardwareAsset(asset.Get()), "HardwareAsset");
        ComPtr<IIviSoftwareModuleCollection> modules;
        Check(store_->get_SoftwareModules(&modules), "SoftwareModules");
        ComPtr<IIviSoftwareModule> module;
        const Bstr module_name = B(options.Get("software-module"));
        Check(modules->get_Item(NameIndex(module_name), &module),
              "no software module " + module_name.ToUtf8());
        Check(session->putref_SoftwareModule(module.Get()), "SoftwareModule");
        const std::pair<const char*, HRESULT (IIviDriverSession::*)(VARIANT_BOOL)> flags[] = {
            {"cache", &IIviDriverSession::put_Cache},
            {"interchange-check", &IIviDriverSession::put_InterchangeCheck},
            {"query-instr-status", &IIviDriverSession::put_QueryInstrStatus},
            {"range-check", &IIviDriverSession::put_RangeCheck},
            {"record-coercions", &IIviDriverSession::put_RecordCoercions},
            {"simulate", &IIviDriverSession::put_Simulate},
        };
        for (const auto& [key, setter] : flags) {
            if (auto value = options.Get(key)) {
                Check((session.Get()->*setter)(ParseBool(key, *value)), key);
            }
        }
        Check(session->put_DriverSetup(B(options.Get("driver-setup")).Get()), "DriverSetup");
        ComPtr<IIviVirtualNameCollection> names;
        Check(session->get_VirtualNames(&names), "VirtualNames");
        for (auto [it, end] = options.values.equal_range("virtual-name"); it != end; ++it) {
            Check(names->Add(NewVirtualName(ParseVirtualName(it->second)).Get()),
                  "cannot add virtual name " + it->second);
        }
        ComPtr<IIviDriverSessionCollection> sessions;
        Check(store_->get_DriverSessions(&sessions), "DriverSessions");
        Check(sessions->Add(session.Get()), "cannot add driver session " + options.name);
    }

    void AddLogicalName(const Options& options) {
        auto logical =
            Create<IIviLogicalName>(L"IviConfigServer.IviLogicalName", IID_IIviLogicalName);
        Check(logical->put_Name(B(options.name).Get()), "Name");
        Check(logical->put_Description(B(options.Get("description")).Get()), "Description");
        ComPtr<IIviSessionCollection> sessions;
        Check(store_->get_Sessions(&sessions), "Sessions");
        ComPtr<IIviSession> session;
        const Bstr session_name = B(options.Get("session"));
        Check(sessions->get_Item(NameIndex(session_name), &session),
              "no session " + session_name.ToUtf8());
        Check(logical->putref_Session(session.Get()), "Session");
        ComPtr<IIviLogicalNameCollection> names;
        Check(store_->get_LogicalNames(&names), "LogicalNames");
        Check(names->Add(logical.Get()), "cannot add logical name " + options.name);
    }

    // The text of a run: FILE, or standard input for "-". A FILE that cannot be read is a
    // usage error of the run, found before the store is touched.
    static std::string ReadRunText(const std::string& source) {
        if (source == "-") {
            return {std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
        }
        std::error_code error;
        std::ifstream file;
        if (!std::filesystem::is_directory(source, error)) {
            file.open(source, std::ios::binary);
        }
        if (!file.is_open()) {
            throw UsageError("cannot read the commands file '" + source + "'");
        }
        std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        if (file.bad()) {
            throw UsageError("cannot read the commands file '" + source + "'");
        }
        return text;
    }

    // Runs the commands of a run in one exclusive lock of the store: loaded once, each
    // command applied in order, saved once at the end when any command changed it. A failing
    // command is reported with its line number and undone; the others still run.
    int RunCommands(const std::string& source) {
        const std::vector<CommandLine> commands = CommandSplitter(ReadRunText(source)).Split();
        Open(true);
        in_run_ = true;
        StoreSnapshot snapshot(path_, loaded_);
        bool any_change = false;
        int failures = 0;
        for (const CommandLine& command : commands) {
            changed_ = false;
            try {
                RunCommand(command);
                if (changed_) {
                    snapshot.Take(store_.Get());
                    any_change = true;
                }
            } catch (const std::exception& error) {
                std::cout.flush();
                std::cerr << "ivi-config: line " << command.number << ": " << error.what() << "\n";
                ++failures;
                store_ = snapshot.Restore();
            }
        }
        in_run_ = false;
        if (any_change) {
            Save();
        }
        return failures == 0 ? 0 : 1;
    }

    void RunCommand(const CommandLine& command) {
        if (!command.error.empty()) {
            throw UsageError(command.error);
        }
        CheckArgumentsAreUtf8(command.words);
        if (command.words[0] == "--store") {
            throw UsageError("--store is given to the run, not to its commands");
        }
        Execute(command.words);
    }

    // 'set KIND NAME --OPTION VALUE...': changes the given properties of an existing entry.
    void Set(const std::string& kind, const std::vector<std::string>& args) {
        static const std::map<std::string, std::vector<std::string>> kAllowed = {
            {"hardware-asset", {"resource", "description"}},
            {"software-module", {"progid", "prefix", "models", "description"}},
            {"driver-session",
             {"hardware-asset", "software-module", "description", "cache", "interchange-check",
              "query-instr-status", "range-check", "record-coercions", "simulate", "driver-setup"}},
            {"logical-name", {"session", "description"}},
        };
        const auto allowed = kAllowed.find(kind);
        if (allowed == kAllowed.end()) {
            throw UsageError("set does not take " + kind);
        }
        const Options options = ParseOptions(args, 2, allowed->second);
        if (options.replace) {
            throw UsageError("--replace is not taken by 'set'");
        }
        if (options.values.empty()) {
            throw UsageError("set needs at least one --OPTION VALUE");
        }
        for (const char* key : {"cache", "interchange-check", "query-instr-status", "range-check",
                                "record-coercions", "simulate"}) {
            if (auto value = options.Get(key)) {
                ParseBool(key, *value);
            }
        }
        Open(true);
        if (kind == "hardware-asset") {
            SetAsset(options);
        } else if (kind == "software-module") {
            SetModule(options);
        } else if (kind == "driver-session") {
            SetSession(options);
        } else {
            SetLogicalName(options);
        }
        Save();
        std::cout << kind << " " << options.name << " changed\n";
    }

    // Each text option given is put through `setter`.
    template <class Object>
    static void PutTexts(
        Object* object, const Options& options,
        std::initializer_list<std::pair<const char*, HRESULT (Object::*)(BSTR)>> setters) {
        for (const auto& [key, setter] : setters) {
            if (auto value = options.Get(key)) {
                Check((object->*setter)(B(*value).Get()), "cannot set --" + std::string(key));
            }
        }
    }

    ComPtr<IIviHardwareAsset> FindAsset(const std::string& name_text) {
        ComPtr<IIviHardwareAssetCollection> assets;
        Check(store_->get_HardwareAssets(&assets), "HardwareAssets");
        ComPtr<IIviHardwareAsset> asset;
        const Bstr name = B(name_text);
        Check(assets->get_Item(NameIndex(name), &asset), "no hardware asset " + name_text);
        return asset;
    }

    void SetAsset(const Options& options) {
        const ComPtr<IIviHardwareAsset> asset = FindAsset(options.name);
        PutTexts<IIviHardwareAsset>(asset.Get(), options,
                                    {{"resource", &IIviHardwareAsset::put_IOResourceDescriptor},
                                     {"description", &IIviHardwareAsset::put_Description}});
    }

    void SetModule(const Options& options) {
        const ComPtr<IIviSoftwareModule> module = FindModule(options.name);
        PutTexts<IIviSoftwareModule>(
            module.Get(), options,
            {{"progid", &IIviSoftwareModule::put_ProgID},
             {"prefix", &IIviSoftwareModule::put_Prefix},
             {"models", &IIviSoftwareModule::put_SupportedInstrumentModels},
             {"description", &IIviSoftwareModule::put_Description}});
    }

    void SetSession(const Options& options) {
        ComPtr<IIviDriverSessionCollection> sessions;
        Check(store_->get_DriverSessions(&sessions), "DriverSessions");
        ComPtr<IIviDriverSession> session;
        const Bstr name = B(options.name);
        Check(sessions->get_Item(NameIndex(name), &session), "no driver session " + options.name);
        // The entries referred to are looked up before anything changes.
        ComPtr<IIviHardwareAsset> asset;
        if (auto asset_name = options.Get("hardware-asset")) {
            asset = FindAsset(*asset_name);
        }
        ComPtr<IIviSoftwareModule> module;
        if (auto module_name = options.Get("software-module")) {
            module = FindModule(*module_name);
        }
        if (asset) {
            Check(session->putref_HardwareAsset(asset.Get()), "cannot set --hardware-asset");
        }
        if (module) {
            Check(session->putref_SoftwareModule(module.Get()), "cannot set --software-module");
        }
        PutTexts<IIviDriverSession>(session.Get(), options,
                                    {{"description", &IIviDriverSession::put_Description},
                                     {"driver-setup", &IIviDriverSession::put_DriverSetup}});
        const std::pair<const char*, HRESULT (IIviDriverSession::*)(VARIANT_BOOL)> flags[] = {
            {"cache", &IIviDriverSession::put_Cache},
            {"interchange-check", &IIviDriverSession::put_InterchangeCheck},
            {"query-instr-status", &IIviDriverSession::put_QueryInstrStatus},
            {"range-check", &IIviDriverSession::put_RangeCheck},
            {"record-coercions", &IIviDriverSession::put_RecordCoercions},
            {"simulate", &IIviDriverSession::put_Simulate},
        };
        for (const auto& [key, setter] : flags) {
            if (auto value = options.Get(key)) {
                Check((session.Get()->*setter)(ParseBool(key, *value)),
                      "cannot set --" + std::string(key));
            }
        }
    }

    void SetLogicalName(const Options& options) {
        ComPtr<IIviLogicalNameCollection> names;
        Check(store_->get_LogicalNames(&names), "LogicalNames");
        ComPtr<IIviLogicalName> logical;
        const Bstr name = B(options.name);
        Check(names->get_Item(NameIndex(name), &logical), "no logical name " + options.name);
        if (auto session_name = options.Get("session")) {
            ComPtr<IIviSessionCollection> sessions;
            Check(store_->get_Sessions(&sessions), "Sessions");
            ComPtr<IIviSession> session;
            const Bstr session_key = B(*session_name);
            Check(sessions->get_Item(NameIndex(session_key), &session),
                  "no session " + *session_name);
            Check(logical->putref_Session(session.Get()), "cannot set --session");
        }
        PutTexts<IIviLogicalName>(logical.Get(), options,
                                  {{"description", &IIviLogicalName::put_Description}});
    }

    std::optional<std::string> store_file_;
    std::filesystem::path path_;
    ComPtr<IIviConfigStore> store_;
    std::optional<StoreLock> lock_;
    bool loaded_ = false;   // the store was loaded from its file
    bool in_run_ = false;   // commands work on the loaded store and leave saving to the run
    bool changed_ = false;  // in a run: the current command changed the store
};

// Takes a leading "--store FILE" off the arguments: the file, or nothing for the master
// store. FILE must not name a folder (a store is one file).
std::optional<std::string> TakeStoreOption(std::vector<std::string>& args) {
    std::optional<std::string> store_file;
    while (!args.empty() && args[0] == "--store") {
        if (store_file) {
            throw UsageError("--store is given twice");
        }
        if (args.size() < 2 || args[1].empty()) {
            throw UsageError("--store needs a FILE");
        }
        store_file = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    std::error_code error;
    if (store_file && (std::filesystem::is_directory(*store_file, error) ||
                       !std::filesystem::path(*store_file).has_filename())) {
        throw UsageError("--store names a folder, not a store file: '" + *store_file + "'");
    }
    return store_file;
}

int ReportUsageError(const UsageError& error) {
    std::cerr << "ivi-config: " << error.what() << "\nRun 'ivi-config --help' for usage.\n";
    return 2;
}

bool WantsHelp(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            return true;
        }
    }
    return false;
}

}  // namespace

int Run(const std::vector<std::string>& all_args) {
    std::vector<std::string> args = all_args;
    std::optional<std::string> store_file;
    try {
        CheckArgumentsAreUtf8(args);
        store_file = TakeStoreOption(args);
    } catch (const UsageError& error) {
        return ReportUsageError(error);
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << kProgramHelp;
        return args.empty() ? 2 : 0;
    }
    if (WantsHelp(args)) {
        auto help = kCommandHelp.find(
            args[0] == "add" && args.size() > 1 && args[1] != "--help" ? args[1] : args[0]);
        if (help == kCommandHelp.end()) {
            std::cerr << "ivi-config: unknown command '" << args[0] << "'\n";
            return 2;
        }
        std::cout << help->second;
        return 0;
    }
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int code = 0;
    try {
        Tool tool(store_file);
        code = tool.Execute(args);
    } catch (const UsageError& error) {
        code = ReportUsageError(error);
    } catch (const std::exception& error) {
        std::cerr << "ivi-config: " << error.what() << "\n";
        code = 1;
    }
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    return code;
}

}  // namespace tevo::ivi::configtool
