// The audio library's decoder on its own: reading in pieces, lengths stated and counted,
// seeking, and the files it refuses.

#include "platform/bass/decode.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "bass_fixture.h"

namespace bass {
inline void PrintTo(DecodeError e, std::ostream* os) {
    *os << (e == DecodeError::None ? "None" : e == DecodeError::Open ? "Open" : "Format");
}
}  // namespace bass

using namespace audio_test;
using bass::DecodeError;
using bass::Decoder;
using bass::SourceData;

namespace {

std::set<std::string> AllContainers() {
    std::set<std::string> c = bass::BaseContainers();
    c.insert(bass::kWmaContainers);
    return c;
}

std::unique_ptr<Decoder> OpenFile(const fs::path& p, DecodeError* error = nullptr,
                                  const std::set<std::string>& containers = AllContainers()) {
    DecodeError e;
    return Decoder::Open(SourceData::OpenFile(p.string(), 0, 0), containers, error ? error : &e);
}

// Every frame of a decoder, read in pieces of `piece` frames.
std::vector<float> ReadAll(Decoder& d, size_t piece) {
    std::vector<float> all, buf(piece * 2);
    while (!d.AtEnd()) {
        size_t n = d.Read(buf.data(), piece);
        all.insert(all.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n * 2));
    }
    return all;
}

std::vector<float> ReadFrames(Decoder& d, size_t frames) {
    std::vector<float> out(frames * 2);
    size_t got = 0;
    while (got < frames && !d.AtEnd()) got += d.Read(out.data() + got * 2, frames - got);
    out.resize(got * 2);
    return out;
}

// Longer material than the checked-in tones, in the formats the library reads, made in a
// private folder when a test first asks for it.
class DecoderFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dir = new TempDir(); }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static fs::path File(const std::string& name) {
        fs::path p = dir->Path() / name;
        if (fs::exists(p)) return p;
        // Six seconds of a different tone each second, exactly.
        if (name == "tones44.wav") WriteWav(p, 44100, 2, Tones({300, 400, 500, 600, 700, 800}, 1.0));
        if (name == "tones48.wav") WriteWav(p, 48000, 2, Tones({300, 400, 500, 600, 700, 800}, 1.0, 48000));
        // Twelve seconds of noise: a shift of even one frame shows.
        const std::map<std::string, std::string> codecs{{"noise.wav", "pcm_s16le"},
                                                        {"noise.mp3", "libmp3lame -b:a 192k"},
                                                        {"noise.ogg", "libvorbis -q:a 6"},
                                                        {"noise.flac", "flac"}};
        auto codec = codecs.find(name);
        if (codec != codecs.end()) {
            EXPECT_TRUE(Ffmpeg("-f lavfi -i anoisesrc=color=pink:seed=7:sample_rate=44100:duration=12 -ac 2 -c:a " +
                               codec->second + " '" + p.string() + "'"))
                << name;
        }
        if (fs::exists(DataFile(name))) return DataFile(name);
        return p;
    }

    static TempDir* dir;
};
TempDir* DecoderFiles::dir = nullptr;

TEST_F(DecoderFiles, PiecesOfAnySizeGiveTheSameSamplesAndTheCountedLength) {
    for (std::string name : {"tone440.mp3", "tone660.ogg", "tone880.wav", "tone550.wma", "tones44.wav", "tones48.wav",
                             "noise.mp3", "noise.flac"}) {
        fs::path p = File(name);
        std::vector<float> reference;
        for (size_t piece : {size_t{100000}, size_t{4096}, size_t{333}, size_t{1}}) {
            auto d = OpenFile(p);
            ASSERT_NE(d, nullptr) << name;
            std::vector<float> all = ReadAll(*d, piece);
            EXPECT_EQ(d->Position() * 2, all.size()) << name;
            if (reference.empty())
                reference = std::move(all);
            else
                EXPECT_TRUE(all == reference) << name << " read " << piece << " frames at a time";
        }
        std::optional<uint64_t> counted = bass::CountFrames(SourceData::OpenFile(p.string(), 0, 0), AllContainers());
        ASSERT_TRUE(counted) << name;
        EXPECT_EQ(*counted * 2, reference.size()) << name;
    }
}

TEST_F(DecoderFiles, LengthIsStatedOnlyWhereTheFileGivesItExactly) {
    // WAV files whose header promises more than the file holds: by whole frames, and
    // ending in the middle of a frame.
    fs::path cut = File("cut.wav"), ragged = File("ragged.wav");
    for (auto [file, bytes] : {std::pair{cut, 4000}, std::pair{ragged, 4003}}) {
        fs::copy_file(File("tones44.wav"), file, fs::copy_options::overwrite_existing);
        fs::resize_file(file, fs::file_size(file) - static_cast<uintmax_t>(bytes));
    }
    struct Case {
        fs::path file;
        std::optional<uint64_t> stated;  // nullopt: counted instead
    } cases[] = {
        {File("tones44.wav"), 6 * 44100},  // 16-bit PCM at the output rate
        {File("noise.wav"), 12 * 44100},
        {cut, 6 * 44100 - 1000},  // what is there, not what the header says
        {ragged, 6 * 44100 - 1001},
        {File("tones48.wav"), std::nullopt},  // resampled
        {DataFile("tone880.wav"), std::nullopt},
        {File("noise.mp3"), std::nullopt},
        {File("noise.flac"), std::nullopt},
    };
    for (const Case& c : cases) {
        auto d = OpenFile(c.file);
        ASSERT_NE(d, nullptr) << c.file;
        EXPECT_EQ(d->StatedLength(), c.stated) << c.file;
        std::optional<uint64_t> counted =
            bass::CountFrames(SourceData::OpenFile(c.file.string(), 0, 0), AllContainers());
        ASSERT_TRUE(counted);
        EXPECT_EQ(ReadAll(*d, 4096).size(), *counted * 2) << c.file;
        if (c.stated) {
            EXPECT_EQ(*counted, *c.stated) << c.file;
        }
    }
}

// Seeks compared with reading from the start: the frames after a seek are the frames a
// straight read gives at that position, not shifted by a single frame, and the same
// samples but where a resampler started afresh.
struct SeekCase {
    const char* file;
    float tolerance;  // of a sample
};

class DecoderSeeks : public DecoderFiles, public ::testing::WithParamInterface<SeekCase> {};

// The shift (in frames, within ±limit) at which `part` best matches `whole` at `at`.
int BestShift(const std::vector<float>& whole, const std::vector<float>& part, size_t at, int limit) {
    int best = 0;
    double bestErr = -1;
    for (int shift = -limit; shift <= limit; ++shift) {
        double err = 0;
        size_t n = part.size() / 2;
        for (size_t i = 0; i < n; ++i) {
            int64_t j = static_cast<int64_t>(at + i) + shift;
            if (j < 0 || static_cast<size_t>(j) * 2 + 1 >= whole.size()) {
                err += 1;
                continue;
            }
            double dl = whole[static_cast<size_t>(j) * 2] - part[i * 2];
            err += dl * dl;
        }
        if (bestErr < 0 || err < bestErr) {
            bestErr = err;
            best = shift;
        }
    }
    return best;
}

TEST_P(DecoderSeeks, LandWhereAStraightReadIs) {
    const SeekCase& c = GetParam();
    auto straight = OpenFile(File(c.file));
    ASSERT_NE(straight, nullptr);
    std::vector<float> whole = ReadAll(*straight, 4096);
    const uint64_t length = whole.size() / 2;
    ASSERT_GT(length, 5u * 44100);

    auto d = OpenFile(File(c.file));
    ReadFrames(*d, 10000);
    // Ahead a little (dropped), far ahead and back (through the container), to the start,
    // in the middle of a piece, and to the very end.
    const uint64_t far = length - 44100;
    const uint64_t targets[] = {30000, far, 44100 + 7, 0, 3 * 44100 + 4095, 2 * 44100, far - 1, length};
    for (uint64_t target : targets) {
        ASSERT_TRUE(d->Seek(target)) << target;
        EXPECT_EQ(d->Position(), target);
        std::vector<float> got = ReadFrames(*d, 2048);
        if (target == length) {
            EXPECT_TRUE(got.empty());
            EXPECT_TRUE(d->AtEnd());
            continue;
        }
        ASSERT_EQ(got.size(), 4096u) << target;
        EXPECT_EQ(BestShift(whole, got, target, 64), 0) << c.file << " at " << target;
        float worst = 0;
        for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::fabs(got[i] - whole[target * 2 + i]));
        EXPECT_LE(worst, c.tolerance) << c.file << " at " << target;
    }
    // The seeks back went through the container, not from the start again.
    EXPECT_FALSE(d->PositionCounted());
    // Past the end: at the end, with nothing more to read.
    EXPECT_TRUE(d->Seek(length + 5000));
    EXPECT_TRUE(d->AtEnd());
    EXPECT_EQ(d->Position(), length);
}

INSTANTIATE_TEST_SUITE_P(Formats, DecoderSeeks,
                         ::testing::Values(SeekCase{"noise.wav", 0}, SeekCase{"noise.flac", 0},
                                           SeekCase{"noise.mp3", 0}, SeekCase{"noise.ogg", 0},
                                           SeekCase{"tones48.wav", 0.01f}),
                         [](const auto& info) {
                             std::string n = info.param.file;
                             n[n.find('.')] = '_';
                             return n;
                         });

TEST_F(DecoderFiles, RefusesWhatIsNotMusic) {
    const fs::path& d = dir->Path();
    std::ofstream(d / "empty.mp3").close();
    std::ofstream(d / "text.mp3") << "not music at all, only a few words of text\n";
    {
        std::ofstream out(d / "noise.bin", std::ios::binary);
        uint32_t x = 99;
        for (int i = 0; i < 8192; ++i) out.put(static_cast<char>((x = x * 1103515245u + 12345u) >> 24));
    }
    {
        std::ifstream in(DataFile("tone660.ogg"), std::ios::binary);
        std::vector<char> head(200);
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        std::ofstream(d / "head.ogg", std::ios::binary).write(head.data(), static_cast<std::streamsize>(head.size()));
    }
    // Headers that are well formed but not music: rates nobody records at, no channels,
    // a header without a single sample.
    WriteWav(d / "rate100.wav", 100, 1, std::vector<int16_t>(1000, 1000));
    WriteWav(d / "rate2M.wav", 2000000, 1, std::vector<int16_t>(1000, 1000));
    WriteWav(d / "nochannels.wav", 44100, 0, std::vector<int16_t>(1000, 1000));
    WriteWav(d / "nosamples.wav", 44100, 2, {});
    // Containers FFmpeg reads but the library does not open.
    ASSERT_TRUE(Ffmpeg("-i '" + DataFile("tone880.wav") + "' -c:a pcm_s16le '" + (d / "tone.mka").string() + "'"));
    ASSERT_TRUE(Ffmpeg("-i '" + DataFile("tone880.wav") + "' -c:a aac '" + (d / "tone.m4a").string() + "'"));
    struct Case {
        fs::path file;
        DecodeError error;
        std::set<std::string> containers;
    } cases[] = {
        {d / "missing.wav", DecodeError::Open, AllContainers()},
        {d / "empty.mp3", DecodeError::Open, AllContainers()},
        {d / "text.mp3", DecodeError::Format, AllContainers()},
        {d / "noise.bin", DecodeError::Format, AllContainers()},
        {d / "head.ogg", DecodeError::Format, AllContainers()},
        {d / "rate100.wav", DecodeError::Format, AllContainers()},
        {d / "rate2M.wav", DecodeError::Format, AllContainers()},
        {d / "nochannels.wav", DecodeError::Format, AllContainers()},
        {d / "nosamples.wav", DecodeError::Format, AllContainers()},
        {d / "tone.mka", DecodeError::Format, AllContainers()},
        {d / "tone.m4a", DecodeError::Format, AllContainers()},
        // Windows Media audio only with the add-on's container allowed.
        {DataFile("tone550.wma"), DecodeError::Format, bass::BaseContainers()},
        {DataFile("tone550.wma"), DecodeError::None, AllContainers()},
    };
    for (const Case& c : cases) {
        DecodeError error = DecodeError::None;
        auto dec = OpenFile(c.file, &error, c.containers);
        EXPECT_EQ(error, c.error) << c.file;
        EXPECT_EQ(dec != nullptr, c.error == DecodeError::None) << c.file;
        EXPECT_EQ(bass::CountFrames(SourceData::OpenFile(c.file.string(), 0, 0), c.containers).has_value(),
                  c.error == DecodeError::None)
            << c.file;
    }
}

TEST_F(DecoderFiles, SourcesOutliveTheirFileAndTheCallersMemory) {
    const fs::path copy = dir->Path() / "gone.wav";
    fs::copy_file(File("tones44.wav"), copy, fs::copy_options::overwrite_existing);
    auto reference = OpenFile(File("tones44.wav"));
    std::vector<float> expect = ReadAll(*reference, 4096);

    // A file deleted after opening still plays whole.
    auto fromFile = OpenFile(copy);
    ASSERT_NE(fromFile, nullptr);
    fs::remove(copy);
    EXPECT_TRUE(ReadAll(*fromFile, 4096) == expect);

    // A memory block changed and freed after opening does not matter.
    std::ifstream in(File("tones44.wav"), std::ios::binary);
    auto block =
        std::make_unique<std::vector<char>>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    DecodeError e;
    auto fromMemory = Decoder::Open(SourceData::CopyMemory(block->data(), block->size()), AllContainers(), &e);
    ASSERT_NE(fromMemory, nullptr);
    std::fill(block->begin(), block->end(), 0);
    block.reset();
    EXPECT_TRUE(ReadAll(*fromMemory, 4096) == expect);

    // A window of a bigger file.
    const fs::path wrapped = dir->Path() / "wrapped.bin";
    {
        std::ifstream src(File("tones44.wav"), std::ios::binary);
        std::ofstream out(wrapped, std::ios::binary);
        out << std::string(777, 'x') << src.rdbuf() << std::string(555, 'y');
    }
    auto window = Decoder::Open(SourceData::OpenFile(wrapped.string(), 777, fs::file_size(File("tones44.wav"))),
                                AllContainers(), &e);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(ReadAll(*window, 4096) == expect);
    EXPECT_EQ(SourceData::OpenFile(wrapped.string(), fs::file_size(wrapped), 0), nullptr) << "nothing after the end";
    EXPECT_EQ(SourceData::CopyMemory(nullptr, 10), nullptr);
}

TEST_F(DecoderFiles, CountingStopsWhenCancelled) {
    std::atomic<bool> cancel{true};
    EXPECT_FALSE(bass::CountFrames(SourceData::OpenFile(File("tones44.wav").string(), 0, 0), AllContainers(), &cancel));
}

}  // namespace
