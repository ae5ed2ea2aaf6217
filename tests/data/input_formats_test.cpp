#include <gtest/gtest.h>
#include <sndfile.h>

#include <string>
#include <vector>

#include "data/SampleSource.h"
#include "data/formats/InputFormats.h"
#include "data/formats/SigmfMeta.h"
#include "support/FaultyFileSystem.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::FaultyFileSystem;
using test::FsCall;
using test::TempDir;

// Writes 400 frames of two channels with libsndfile; channel 2 counts up.
void WriteSound(const std::string& path, int format) {
    std::vector<short> frames(800);
    for (std::size_t i = 0; i < 400; ++i) {
        frames[2 * i] = -1000;
        frames[2 * i + 1] = static_cast<short>(i * 80 - 16000);
    }
    SF_INFO info{0, 8000, 2, format, 0, 0};
    SNDFILE* sound = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(sound, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(sf_writef_short(sound, frames.data(), 400), 400);
    sf_close(sound);
}

// Every read that fails while a sound file opens or is read makes it a
// file-system error, never a damaged file; no handle stays open.
TEST(input_formats_test, a_failed_read_is_a_file_system_error_at_any_point) {
    RegisterInputFormats();
    TempDir dir;
    for (const int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_24, SF_FORMAT_FLAC | SF_FORMAT_PCM_16}) {
        WriteSound(dir.File("s"), format);
        InputOptions options;
        options.channel = 2;
        int opened = 0;
        for (int nth = 1; nth < 64; ++nth) {
            auto fileSystem = std::make_shared<FaultyFileSystem>();
            fileSystem->FailCall(FsCall::ReadAt, nth);
            SourceOpening opening = SampleSource::Open(*fileSystem, dir.File("s"), options);
            if (!opening.source) {
                EXPECT_EQ(opening.result, fftResultFileSysErr) << nth << ": " << opening.reason;
                continue;
            }
            std::vector<double> out(400);
            ByteBuffer bytes;
            const SourceRead read = opening.source->Read(0, out, bytes);
            if (read.result == fftResultAllRight) {
                ++opened;
                ASSERT_EQ(read.count, 400u);
                EXPECT_EQ(out[399], 399 * 80 - 16000);
            } else {
                EXPECT_EQ(read.result, fftResultFileSysErr) << nth;
            }
            opening.source.reset();
            EXPECT_EQ(fileSystem->OpenHandles(), 0);
        }
        EXPECT_GT(opened, 0);
    }
}

TEST(input_formats_test, sigmf_datatypes_follow_the_grammar) {
    struct Case {
        const char* text;
        bool valid;
        bool complex;
        SampleFormat format;
    };
    const Case cases[] = {
        {"ri16_le", true, false, SampleFormat::S16le},
        {"ru16_be", true, false, SampleFormat::U16be},
        {"rf64_be", true, false, SampleFormat::F64be},
        {"ri32_le", true, false, SampleFormat::S32le},
        {"ri8", true, false, SampleFormat::S8},
        {"ru8", true, false, SampleFormat::U8},
        {"cf32_le", true, true, SampleFormat::F32le},
        {"cu8", true, true, SampleFormat::U8},
        {"ri16", false, false, {}},
        {"i16_le", false, false, {}},
        {"ri8_le", false, false, {}},
        {"ri24_le", false, false, {}},
        {"rf16_le", false, false, {}},
        {"RI16_LE", false, false, {}},
        {"ri16_le ", false, false, {}},
        {"", false, false, {}},
    };
    for (const Case& c : cases) {
        const SigmfDatatype type = ParseSigmfDatatype(c.text);
        EXPECT_EQ(type.valid, c.valid) << c.text;
        if (!c.valid) continue;
        EXPECT_EQ(type.complex, c.complex) << c.text;
        EXPECT_EQ(type.format, c.format) << c.text;
    }
}

TEST(input_formats_test, sigmf_metadata_reads_its_fields_and_names_the_one_in_the_way) {
    const SigmfReading read = ReadSigmfMeta(
        R"({"global": {"core:datatype": "ru16_be", "core:num_channels": 3, "core:sample_rate": 2.5e6,
            "core:dataset": "x.bin", "core:trailing_bytes": 4, "core:version": "1.2.0"},
            "captures": [{"core:sample_start": 0, "core:header_bytes": 128}, {"core:sample_start": 10}]})");
    ASSERT_TRUE(read.meta) << read.error;
    EXPECT_EQ(read.meta->format, SampleFormat::U16be);
    EXPECT_EQ(read.meta->channels, 3);
    EXPECT_EQ(read.meta->rate, 2.5e6);
    EXPECT_EQ(read.meta->dataset, "x.bin");
    EXPECT_EQ(read.meta->headerBytes, 128u);
    EXPECT_EQ(read.meta->trailingBytes, 4u);

    const std::pair<const char*, const char*> refused[] = {
        {"[1]", "the metadata must be a JSON object, not [1]"},
        {"{}", "the metadata has no global object"},
        {R"({"global": {}})", "global.core:datatype is missing"},
        {R"({"global": {"core:datatype": "ri8", "core:num_channels": 1025}})",
         "global.core:num_channels must be a whole number from 1 to 1024, not 1025"},
        {R"({"global": {"core:datatype": "ri8", "core:dataset": "../x"}})",
         "global.core:dataset must be the name of a file beside the metadata, not \"../x\""},
        {R"({"global": {"core:datatype": "ri8"}, "captures": [{}, {"core:header_bytes": 8}]})",
         "captures[1].core:header_bytes: header bytes between the samples of one recording cannot be read"},
        {R"({"global": {"core:datatype": "ri8"}, "captures": [{"core:sample_start": -1}]})",
         "captures[0].core:sample_start must be a whole number, not -1"},
    };
    for (const auto& [text, error] : refused) {
        const SigmfReading reading = ReadSigmfMeta(text);
        EXPECT_FALSE(reading.meta) << text;
        EXPECT_EQ(reading.error, error);
    }
}

}  // namespace
}  // namespace tavox
