#include "lumetra_pack.h"

#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <set>

#include "classlib/Classes.h"
#include "classlib/Jpeg.h"
#include "classlib/SysUtils.h"
#include "platform/bass/bass.h"
#include "platform/bass/decode.h"
#include "platform/codepage.h"

namespace lumetra_pack {

namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "usage: lumetra-pack --player PLAYER -o OUT [--title T] [--interval MS] [--effect-interval MS]\n"
    "                    [--effect N] [--random-slides] [--random-music] [--repeat-music]\n"
    "                    [--fader-in MS] [--no-fader] [--music FILE]... PICTURE...\n"
    "       lumetra-pack --player PLAYER -o OUT --project DOC.xml\n"
    "A show carries PLAYER without its debug information: a player built with it is stripped\n"
    "(objcopy --strip-debug) on a copy of its own while packing; PLAYER itself is not changed.\n";

int32_t ParseNumber(const std::string& option, const std::string& text, int32_t min) {
    int32_t v;
    if (!cl::TryStrToInt(text, v) || v < min) throw PackError("invalid value for " + option + ": \"" + text + "\"");
    return v;
}

std::string Bool(bool b) { return b ? "-1" : "0"; }

// Element text as the player's reader reads it back: plain when it holds no markup
// or control characters, else in character-data sections.
std::string Text(const std::string& s) {
    bool plain = true;
    for (unsigned char c : s)
        if (c == '<' || c == '>' || c < 32) plain = false;
    if (plain && cl::Trim(s) == s) return s;
    std::string out = "<![CDATA[";
    size_t start = 0;
    for (size_t p; (p = s.find("]]>", start)) != std::string::npos; start = p + 2)
        out += s.substr(start, p + 2 - start) + "]]><![CDATA[";
    out += s.substr(start) + "]]>";
    return out;
}

std::string Element(const std::string& name, const std::string& value) {
    return "<" + name + ">" + value + "</" + name + ">";
}

std::string BaseName(const std::string& path) { return fs::path(path).filename().string(); }

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    std::error_code ea, eb;
    fs::path ca = fs::weakly_canonical(fs::absolute(a), ea), cb = fs::weakly_canonical(fs::absolute(b), eb);
    return !ea && !eb && ca == cb;
}

// The partial output of a run lives in a folder of the run's own (mode 0700) beside OUT,
// on OUT's filesystem, so that the finished file is renamed onto OUT in one step; the
// stripped copy of the player is made there too. The folder and what is in it go at every
// exit: by the destructor, and on the way out of a signal by the handler, which knows the
// paths in fixed buffers.
namespace partial {

char gFile[PATH_MAX];
char gPlayer[PATH_MAX];
char gFolder[PATH_MAX];
struct sigaction gPrevious[3];
constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

void Remove() {
    if (gFile[0]) ::unlink(gFile);
    if (gPlayer[0]) ::unlink(gPlayer);
    if (gFolder[0]) ::rmdir(gFolder);
}

void OnSignal(int sig) {
    Remove();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// Makes the run's folder in `dir` and names the file in it. The signals wait meanwhile,
// so that the handler never sees a folder that exists under another name than it knows.
bool Begin(const std::string& dir) {
    std::string pattern = dir + "/.lumetra-pack-XXXXXX";
    if (pattern.size() + 16 >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return false;
    }
    sigset_t block, old;
    sigemptyset(&block);
    for (int sig : kSignals) sigaddset(&block, sig);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &sa, &gPrevious[i]);
    std::memcpy(gFolder, pattern.c_str(), pattern.size() + 1);
    bool made = ::mkdtemp(gFolder) != nullptr;
    int error = errno;
    if (made) {
        std::snprintf(gFile, sizeof gFile, "%s/show.part", gFolder);
        std::snprintf(gPlayer, sizeof gPlayer, "%s/player", gFolder);
    } else {
        gFolder[0] = 0;
        for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = error;
    return made;
}

void End() {
    Remove();
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    gFile[0] = gPlayer[0] = gFolder[0] = 0;
}

}  // namespace partial

}  // namespace

bool HasDebugSections(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in && HasDebugSections(in);
}

bool HasDebugSections(std::istream& in) {
    in.seekg(0, std::ios::end);
    if (!in) return false;
    const uint64_t size = static_cast<uint64_t>(in.tellg());
    auto read = [&](uint64_t at, uint64_t count, std::string& bytes) {
        if (at > size || count > size - at) return false;
        bytes.assign(static_cast<size_t>(count), '\0');
        in.seekg(static_cast<std::streamoff>(at));
        return count == 0 || bool(in.read(bytes.data(), static_cast<std::streamsize>(count)));
    };
    std::string h;
    if (!read(0, 64, h) || h.compare(0, 4, "\x7F" "ELF") != 0) return false;
    const bool wide = h[4] == 2, little = h[5] == 1;
    if ((h[4] != 1 && !wide) || (h[5] != 1 && h[5] != 2)) return false;
    auto get = [little](const std::string& b, size_t at, int n) {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) {
            const uint64_t byte = static_cast<unsigned char>(b[at + static_cast<size_t>(little ? n - 1 - i : i)]);
            v = (v << 8) | byte;
        }
        return v;
    };
    const uint64_t shoff = wide ? get(h, 0x28, 8) : get(h, 0x20, 4);
    const uint64_t entsize = wide ? get(h, 0x3A, 2) : get(h, 0x2E, 2);
    uint64_t count = wide ? get(h, 0x3C, 2) : get(h, 0x30, 2);
    uint64_t names = wide ? get(h, 0x3E, 2) : get(h, 0x32, 2);
    const size_t nameAt = 0, offAt = wide ? 0x18 : 0x10, sizeAt = wide ? 0x20 : 0x14, linkAt = wide ? 0x28 : 0x18;
    const int word = wide ? 8 : 4;
    if (shoff == 0 || entsize < (wide ? 0x40u : 0x28u)) return false;
    std::string first;
    if (!read(shoff, entsize, first)) return false;
    // Many sections: the counts stand in the first section header.
    if (count == 0) count = get(first, sizeAt, word);
    if (names == 0xFFFF) names = get(first, linkAt, 4);
    if (count == 0 || names >= count || count > size / entsize) return false;
    std::string table;
    if (!read(shoff, count * entsize, table)) return false;
    const size_t strAt = static_cast<size_t>(names * entsize);
    std::string strings;
    if (!read(get(table, strAt + offAt, word), get(table, strAt + sizeAt, word), strings)) return false;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t name = get(table, static_cast<size_t>(i * entsize) + nameAt, 4);
        if (name >= strings.size()) continue;
        const char* n = strings.c_str() + name;
        if (std::strncmp(n, ".debug", 6) == 0 || std::strncmp(n, ".zdebug", 7) == 0) return true;
    }
    return false;
}

namespace {

// Writes a copy of `player` without its debug information to `copy` with the binary
// utilities' object copier.
void StripDebugInformation(const std::string& player, const std::string& copy) {
    const std::string tool = LUMETRA_OBJCOPY;
    std::vector<std::string> words = {tool, "--strip-debug", player, copy};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, tool.c_str(), nullptr, nullptr, argv.data(), environ);
    if (error != 0)
        throw PackError("cannot strip the debug information of " + player + ": cannot run " + tool + " (" +
                        std::strerror(error) + ")");
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw PackError("cannot strip the debug information of " + player + ": " + tool + " failed");
}

// The output: written into the run's folder and renamed onto OUT when complete. An input
// that is OUT itself is refused before anything is written, since the rename would
// destroy it.
class Output {
public:
    explicit Output(const std::string& path) : path_(path) {
        fs::path p(path);
        fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
        if (!partial::Begin(dir.string())) throw PackError("cannot create " + path + ": " + std::strerror(errno));
        temp_ = partial::gFile;
        try {
            stream_ = std::make_unique<cl::TFileStream>(temp_, cl::fmCreate);
        } catch (const cl::Exception& e) {
            partial::End();
            throw PackError("cannot create " + path + ": " + e.what());
        }
    }
    ~Output() {
        stream_.reset();
        partial::End();
    }

    int64_t Position() { return stream_->GetPosition(); }

    void Write(const std::string& bytes) {
        if (stream_->Write(bytes.data(), static_cast<int64_t>(bytes.size())) != static_cast<int64_t>(bytes.size()))
            throw PackError("cannot write " + path_);
    }

    // Appends a whole file and returns its byte range. A file named twice is stored once.
    Range Append(const std::string& file) {
        std::error_code ec;
        fs::path canonical = fs::weakly_canonical(fs::absolute(file), ec);
        std::string key = ec ? file : canonical.string();
        auto it = stored_.find(key);
        if (it != stored_.end()) return it->second;
        if (!cl::FileExists(file)) throw PackError("no such file: " + file);
        RefuseIfOutput(file, path_);
        Range r;
        r.start = Position();
        try {
            cl::TFileStream in(file, cl::fmOpenRead);
            int64_t size = in.GetSize();
            if (size > 0) stream_->CopyFrom(&in, size);
        } catch (const cl::EWriteError&) {
            throw PackError("cannot write " + path_);
        } catch (const cl::Exception& e) {
            throw PackError("cannot read " + file + ": " + e.what());
        }
        r.end = Position();
        stored_[key] = r;
        return r;
    }

    // Finishes the file: the run bits of the player, then the rename onto OUT.
    void Commit(mode_t mode) {
        stream_.reset();
        if (::chmod(temp_.c_str(), (mode & 07777) | 0111) != 0) throw PackError("cannot set the mode of " + path_);
        if (std::rename(temp_.c_str(), path_.c_str()) != 0) throw PackError("cannot write " + path_);
    }

    // Appends the player, without its debug information: a player that has some is
    // stripped into the run's folder first and that copy is appended.
    Range AppendPlayer(const std::string& player) {
        RefuseIfOutput(player, path_);
        if (!HasDebugSections(player)) return Append(player);
        const std::string copy = partial::gPlayer;
        StripDebugInformation(player, copy);
        Range r = Append(copy);
        ::unlink(copy.c_str());
        return r;
    }

    static void RefuseIfOutput(const std::string& input, const std::string& output) {
        if (SameFile(input, output)) throw PackError("the output " + output + " is one of the inputs (" + input + ")");
    }

private:
    std::string path_;
    std::string temp_;
    std::unique_ptr<cl::TFileStream> stream_;
    std::map<std::string, Range> stored_;
};

// What the player can use: slide pictures it decodes as JPEG with the class library's
// reader, and music its audio library decodes (with the WMA add-on it carries). Each file
// is checked once; the errors name it.
class Inputs {
public:
    void SlidePicture(const std::string& file) {
        if (!First(pictures_, file)) return;
        cl::TMemoryStream bytes;
        try {
            bytes.LoadFromFile(file);
        } catch (const cl::Exception& e) {
            throw PackError("cannot read " + file + ": " + e.what());
        }
        try {
            // As the player shows a slide: the bytes in memory, decoded whole.
            bytes.SetPosition(0);
            cl::TJPEGImage jpeg;
            jpeg.LoadFromStream(&bytes);
            jpeg.GetBitmap();
        } catch (const std::exception& e) {
            throw PackError(file + ": not a JPEG picture the player can show (" + e.what() + ")");
        }
    }

    void Music(const std::string& file) {
        if (!First(music_, file)) return;
        std::set<std::string> containers = bass::BaseContainers();
        containers.insert(bass::kWmaContainers);
        bass::DecodeError error;
        if (!bass::Decoder::Open(bass::SourceData::OpenFile(file, 0, 0), containers, &error))
            throw PackError(file + ": not music the player can play (MP3, Ogg Vorbis, WAV, FLAC, AIFF or WMA)");
    }

private:
    static bool First(std::set<std::string>& checked, const std::string& file) {
        if (!cl::FileExists(file)) throw PackError("no such file: " + file);
        std::error_code ec;
        fs::path canonical = fs::weakly_canonical(fs::absolute(file), ec);
        return checked.insert(ec ? file : canonical.string()).second;
    }
    std::set<std::string> pictures_, music_;
};

std::string Trailer(int64_t offset) {
    std::string t(8, '\0');
    for (int i = 0; i < 8; ++i) t[i] = static_cast<char>((static_cast<uint64_t>(offset) >> (8 * i)) & 0xFF);
    return t;
}

std::string ToCodePage(const std::string& utf8, const std::string& what) {
    bool lossy = false;
    std::string bytes = win::Utf8ToCodePage(1251, utf8, &lossy);
    if (lossy) throw PackError(what + ": holds a character that Windows code page 1251 cannot hold");
    if (bytes.find('\0') != std::string::npos) throw PackError(what + ": holds a zero byte");
    return bytes;
}

std::string ReadTextFile(const std::string& path) {
    try {
        cl::TMemoryStream m;
        m.LoadFromFile(path);
        return std::string(static_cast<const char*>(m.GetMemory()) ? static_cast<const char*>(m.GetMemory()) : "",
                           static_cast<size_t>(m.GetSize()));
    } catch (const cl::Exception& e) {
        throw PackError("cannot read " + path + ": " + e.what());
    }
}

// ---------------------------------------------------------------------------------------
// The project document of the --project mode, edited in place: a scanner that knows
// elements, character data, comments and processing instructions, and records where the
// children of each Slide and MusicTrack stand.

struct Child {
    std::string name;
    size_t begin = 0, end = 0;  // the whole element, start tag to end tag
    std::string text;           // its text content, trimmed
};

struct Item {
    std::string name;       // Slide or MusicTrack
    size_t contentEnd = 0;  // where its end tag begins
    std::vector<Child> children;
};

struct Edit {
    size_t begin, end;
    std::string replacement;
};

std::string TagName(const std::string& tag) {
    size_t n = 0;
    while (n < tag.size() && !std::isspace(static_cast<unsigned char>(tag[n])) && tag[n] != '/') ++n;
    return tag.substr(0, n);
}

// Also collects the edits that make the document readable by the player's reader, which
// knows elements and text only: comments are dropped and empty-element tags are written
// as a start and an end tag. Attributes cannot be read back and are refused.
std::vector<Item> ScanProject(const std::string& doc, const std::string& path, std::vector<Edit>& edits) {
    auto bad = [&](const std::string& why) {
        return PackError(path + ": not a readable project document (" + why + ")");
    };
    struct Open {
        std::string name;
        size_t begin;
        std::string text;
    };
    std::vector<Open> stack;
    std::vector<Item> items;
    bool sawRoot = false;
    size_t i = 0;
    while (i < doc.size()) {
        if (doc[i] != '<') {
            size_t next = doc.find('<', i);
            if (next == std::string::npos) next = doc.size();
            if (!stack.empty()) stack.back().text += doc.substr(i, next - i);
            i = next;
            continue;
        }
        auto skipTo = [&](const char* endMark, const char* what) {
            size_t e = doc.find(endMark, i);
            if (e == std::string::npos) throw bad(std::string("unterminated ") + what);
            return e + std::strlen(endMark);
        };
        if (doc.compare(i, 4, "<!--") == 0) {
            size_t begin = i;
            i = skipTo("-->", "comment");
            edits.push_back({begin, i, ""});
            continue;
        }
        if (doc.compare(i, 9, "<![CDATA[") == 0) {
            size_t e = skipTo("]]>", "character data");
            if (!stack.empty()) stack.back().text += doc.substr(i + 9, e - 3 - (i + 9));
            i = e;
            continue;
        }
        if (doc.compare(i, 2, "<?") == 0) {
            i = skipTo("?>", "declaration");
            continue;
        }
        if (doc.compare(i, 2, "<!") == 0) {
            i = skipTo(">", "declaration");
            continue;
        }
        size_t close = doc.find('>', i);
        if (close == std::string::npos) throw bad("unterminated tag");
        std::string tag = doc.substr(i + 1, close - i - 1);
        size_t tagBegin = i;
        i = close + 1;
        if (!tag.empty() && tag[0] == '/') {
            std::string name = TagName(tag.substr(1));
            if (stack.empty() || stack.back().name != name) throw bad("unexpected end tag </" + name + ">");
            Open o = std::move(stack.back());
            stack.pop_back();
            if (stack.size() == 1 && (o.name == "Slide" || o.name == "MusicTrack")) {
                items.back().contentEnd = tagBegin;
            } else if (stack.size() == 2 && !items.empty()) {
                items.back().children.push_back(Child{o.name, o.begin, i, cl::Trim(o.text)});
            }
            continue;
        }
        std::string name = TagName(tag);
        if (name.empty()) throw bad("empty tag");
        bool empty = tag.back() == '/';
        if (cl::Trim(tag.substr(0, tag.size() - (empty ? 1 : 0))) != name)
            throw bad("attributes are not supported: <" + tag + ">");
        if (empty) edits.push_back({tagBegin, i, "<" + name + "></" + name + ">"});
        if (stack.empty()) {
            if (sawRoot) throw bad("more than one root element");
            if (name != "LumetraProject") throw bad("the root element is not LumetraProject");
            sawRoot = true;
        }
        if (stack.size() == 1 && (name == "Slide" || name == "MusicTrack")) {
            items.push_back(Item{name, empty ? tagBegin : 0, {}});
        }
        if (empty) {
            if (stack.size() == 2 && !items.empty()) items.back().children.push_back(Child{name, tagBegin, i, ""});
            continue;
        }
        stack.push_back(Open{name, tagBegin, {}});
    }
    if (!stack.empty()) throw bad("element <" + stack.back().name + "> is not closed");
    if (!sawRoot) throw bad("no root element");
    return items;
}

const Child* Find(const Item& item, const std::string& name) {
    for (const Child& c : item.children)
        if (c.name == name) return &c;
    return nullptr;
}

void PackProject(const Options& options) {
    Output::RefuseIfOutput(options.project, options.output);
    std::string doc = ReadTextFile(options.project);
    fs::path base = fs::path(options.project).parent_path();
    struct stat st;
    if (::stat(options.player.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw PackError("no such file: " + options.player);
    Output out(options.output);
    out.AppendPlayer(options.player);
    Inputs inputs;
    std::string rewritten = RewriteProject(doc, options.project, [&](ProjectFile kind, const std::string& name) {
        fs::path fp(name);
        std::string path = (fp.is_absolute() ? fp : base / fp).string();
        if (kind == ProjectFile::SlidePicture) inputs.SlidePicture(path);
        if (kind == ProjectFile::Music) inputs.Music(path);
        return out.Append(path);
    });
    std::string bytes = ToCodePage(rewritten, options.project);
    int64_t offset = out.Position();
    out.Write(bytes);
    out.Write(Trailer(offset));
    out.Commit(st.st_mode);
}

}  // namespace

// ---------------------------------------------------------------------------------------

std::string RewriteProject(std::string doc, const std::string& path, const PlaceFile& place) {
    if (doc.compare(0, 3, "\xEF\xBB\xBF") == 0) doc.erase(0, 3);  // byte-order mark
    std::vector<Edit> edits;
    std::vector<Item> items = ScanProject(doc, path, edits);

    // Replaces the File-like element `fileTag` by the two position elements, dropping
    // any position elements written by hand.
    auto put = [&](const Item& item, const char* fileTag, const char* startTag, const char* endTag,
                   ProjectFile kind) -> bool {
        const Child* file = Find(item, fileTag);
        if (!file) return false;
        if (file->text.empty()) throw PackError(path + ": empty <" + std::string(fileTag) + "> element");
        Range r = place(kind, file->text);
        edits.push_back({file->begin, file->end,
                         Element(startTag, std::to_string(r.start)) + Element(endTag, std::to_string(r.end))});
        for (const Child& c : item.children)
            if (c.name == startTag || c.name == endTag) edits.push_back({c.begin, c.end, ""});
        return true;
    };
    for (const Item& item : items) {
        if (item.name == "Slide") {
            put(item, "File", "StartPos", "EndPos", ProjectFile::SlidePicture);
            // A mask picture is used only when the slide says it has one.
            if (put(item, "MaskFile", "MaskStartPos", "MaskEndPos", ProjectFile::MaskPicture) &&
                !Find(item, "EffectMask"))
                edits.push_back({item.contentEnd, item.contentEnd, Element("EffectMask", "0")});
        } else {
            const Child* file = Find(item, "File");
            bool placed = put(item, "File", "StartPos", "EndPos", ProjectFile::Music);
            if (placed && !Find(item, "FileName"))
                edits.push_back({item.contentEnd, item.contentEnd, Element("FileName", Text(BaseName(file->text)))});
        }
    }
    // An edit inside a range that another edit replaces whole is dropped; the rest are
    // applied from the end of the text backwards.
    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
        return a.begin != b.begin ? a.begin < b.begin : a.end > b.end;
    });
    std::vector<Edit> kept;
    for (const Edit& e : edits) {
        bool inside = !kept.empty() && e.begin < kept.back().end &&
                      (e.begin > kept.back().begin ||
                       (e.begin == kept.back().begin && e.end <= kept.back().end && e.end > e.begin));
        if (!inside) kept.push_back(e);
    }
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) doc.replace(it->begin, it->end - it->begin, it->replacement);
    return doc;
}

Options ParseCommandLine(const std::vector<std::string>& args) {
    Options o;
    auto value = [&](size_t& i) -> const std::string& {
        if (i + 1 >= args.size()) throw PackError(args[i] + " needs a value");
        return args[++i];
    };
    bool settings = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--player") {
            o.player = value(i);
        } else if (a == "-o" || a == "--output") {
            o.output = value(i);
        } else if (a == "--project") {
            o.project = value(i);
        } else if (a == "--title") {
            o.title = value(i);
            settings = true;
        } else if (a == "--interval") {
            o.interval = ParseNumber(a, value(i), 1);
            settings = true;
        } else if (a == "--effect-interval") {
            o.effectInterval = ParseNumber(a, value(i), 1);
            settings = true;
        } else if (a == "--effect") {
            o.effect = ParseNumber(a, value(i), -1);
            if (o.effect > kLastEffectIndex)
                throw PackError("invalid value for --effect: " + std::to_string(o.effect) + " (-1 to " +
                                std::to_string(kLastEffectIndex) + ")");
            settings = true;
        } else if (a == "--random-slides") {
            o.randomSlides = settings = true;
        } else if (a == "--random-music") {
            o.randomMusic = settings = true;
        } else if (a == "--repeat-music") {
            o.repeatMusic = settings = true;
        } else if (a == "--fader-in") {
            o.faderIn = ParseNumber(a, value(i), 0);
            settings = true;
        } else if (a == "--no-fader") {
            o.noFader = settings = true;
        } else if (a == "--music") {
            o.music.push_back(value(i));
        } else if (a == "-h" || a == "--help") {
            throw PackError("help");
        } else if (a.size() > 1 && a[0] == '-') {
            throw PackError("unknown option " + a);
        } else {
            o.pictures.push_back(a);
        }
    }
    if (o.player.empty()) throw PackError("--player is required");
    if (o.output.empty()) throw PackError("-o OUT is required");
    if (!o.project.empty()) {
        if (settings || !o.music.empty() || !o.pictures.empty())
            throw PackError("--project takes no pictures, music or settings options");
    } else if (o.pictures.empty()) {
        throw PackError("no pictures given");
    }
    return o;
}

std::string BuildDocument(const Options& o, const std::vector<Range>& pictures, const std::vector<Range>& music) {
    std::string d = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<LumetraProject>\r\n<Settings>";
    d += Element("WindowTitle", Text(o.title.value_or("Lumetra")));
    d += Element("DefaultInterval", std::to_string(o.interval.value_or(4000)));
    d += Element("DefaultEffectInterval", std::to_string(o.effectInterval.value_or(1000)));
    d += Element("RandomSlides", Bool(o.randomSlides));
    d += Element("RandomMusic", Bool(o.randomMusic));
    d += Element("RepeatMusic", Bool(o.repeatMusic));
    d += Element("FaderEnabled", Bool(!o.noFader));
    d += Element("FaderIn", std::to_string(o.faderIn.value_or(3000)));
    d += "</Settings>\r\n";
    for (size_t i = 0; i < pictures.size(); ++i) {
        d += "<Slide>";
        d += Element("Name", Text(BaseName(o.pictures[i])));
        d += Element("StartPos", std::to_string(pictures[i].start));
        d += Element("EndPos", std::to_string(pictures[i].end));
        d += Element("TimeInterval", "-1");
        d += Element("EffectInterval", "-1");
        d += Element("Effect", std::to_string(o.effect));
        d += Element("EffectMask", "-1");
        d += Element("Enabled", "-1");
        d += "</Slide>\r\n";
    }
    for (size_t i = 0; i < music.size(); ++i) {
        d += "<MusicTrack>";
        d += Element("Type", "3");
        d += Element("StartPos", std::to_string(music[i].start));
        d += Element("EndPos", std::to_string(music[i].end));
        d += Element("FileName", Text(BaseName(o.music[i])));
        d += "</MusicTrack>\r\n";
    }
    d += "</LumetraProject>\r\n";
    return d;
}

void Pack(const Options& options) {
    if (!options.project.empty()) {
        PackProject(options);
        return;
    }
    struct stat st;
    if (::stat(options.player.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw PackError("no such file: " + options.player);
    // Everything is checked before anything is written.
    for (const auto& f : options.pictures) Output::RefuseIfOutput(f, options.output);
    for (const auto& f : options.music) Output::RefuseIfOutput(f, options.output);
    Output::RefuseIfOutput(options.player, options.output);
    Inputs inputs;
    for (const auto& f : options.pictures) inputs.SlidePicture(f);
    for (const auto& f : options.music) inputs.Music(f);
    if (options.title) ToCodePage(*options.title, "--title");
    for (const auto& f : options.music) ToCodePage(BaseName(f), f);
    for (const auto& f : options.pictures) ToCodePage(BaseName(f), f);

    Output out(options.output);
    out.AppendPlayer(options.player);
    std::vector<Range> pictures, music;
    for (const auto& f : options.pictures) pictures.push_back(out.Append(f));
    for (const auto& f : options.music) music.push_back(out.Append(f));
    std::string doc = ToCodePage(BuildDocument(options, pictures, music), options.output);
    int64_t offset = out.Position();
    out.Write(doc);
    out.Write(Trailer(offset));
    out.Commit(st.st_mode);
}

int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    try {
        options = ParseCommandLine(args);
    } catch (const PackError& e) {
        if (std::string(e.what()) == "help") {
            out << kUsage;
            return 0;
        }
        err << "lumetra-pack: " << e.what() << "\n" << kUsage;
        return 2;
    }
    try {
        Pack(options);
    } catch (const std::exception& e) {
        err << "lumetra-pack: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace lumetra_pack
