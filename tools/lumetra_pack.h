// lumetra-pack: builds a screensaver file from the player, pictures, mask pictures, music
// and settings. The player's copy gets the data files appended, then the project document
// (Windows Cyrillic text), then the 8-byte little-endian offset of the document.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumetra_pack {

class PackError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string player;
    std::string output;
    std::string project;  // --project DOC.xml (then no pictures, music or settings options)
    std::optional<std::string> title;
    std::optional<int32_t> interval;
    std::optional<int32_t> effectInterval;
    int32_t effect = -1;
    bool randomSlides = false;
    bool randomMusic = false;
    bool repeatMusic = false;
    std::optional<int32_t> faderIn;
    bool noFader = false;
    std::vector<std::string> music;
    std::vector<std::string> pictures;
};

// Highest effect index of the show's transition list (45 effects, the cut and the mask
// transition).
constexpr int32_t kLastEffectIndex = 46;

// Parses the command line (argv[0] is the program). Throws PackError on a usage error.
Options ParseCommandLine(const std::vector<std::string>& args);

// The project document (UTF-8) for the simple mode, given the byte ranges of the pictures
// and the music files in the order of the options.
struct Range {
    int64_t start = 0;
    int64_t end = 0;
};
std::string BuildDocument(const Options& options, const std::vector<Range>& pictures, const std::vector<Range>& music);

// The project document of the --project mode, as the player's reader needs it: the file
// element of every Slide (File, MaskFile) and MusicTrack (File) replaced by the byte range
// `place` gives the named file (the name as written), a MusicTrack without FileName given
// the file's own name, comments dropped and empty-element tags written out. Throws
// PackError naming `path` for a document that reader cannot read.
enum class ProjectFile { SlidePicture, MaskPicture, Music };
using PlaceFile = std::function<Range(ProjectFile kind, const std::string& name)>;
std::string RewriteProject(std::string doc, const std::string& path, const PlaceFile& place);

// Packs as the options say. Slide pictures must be JPEG pictures the player decodes, music
// files must be music its audio library decodes (mask pictures are not checked), and no
// input may be the output file itself. Throws PackError naming the path at fault; the
// output file is then left untouched (or absent).
void Pack(const Options& options);

// True when the file is an ELF object with debug sections (".debug_..." or ".zdebug_...");
// false for anything else, a file whose section table does not lie inside it included.
bool HasDebugSections(const std::string& path);
// The same of the bytes of a seekable stream.
bool HasDebugSections(std::istream& in);

// Command-line entry: returns the exit status, reporting errors on `err`.
int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace lumetra_pack
