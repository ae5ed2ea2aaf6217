#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "data/Data.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using test::ReadBytes;
using test::ReadSamples;
using test::TempDir;
using test::WriteSamples;

test::ProgramResult RunTavox(const std::vector<std::string>& arguments) {
    return test::RunProgram(TAVOX_EXE, arguments, test::DisplayVariables);
}

// Seeded noise over a large offset: the magnitude of bin 0 passes 32767, so
// the raw output clamps it.
std::vector<std::int16_t> Signal(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-9000, 9000);
    std::vector<std::int16_t> samples(length);
    for (std::size_t n = 0; n < length; ++n) {
        const double tone = 5000 * std::cos(0.3 * static_cast<double>(n));
        samples[n] = static_cast<std::int16_t>(std::clamp(20000.0 + tone + noise(random), -32768.0, 32767.0));
    }
    return samples;
}

double ReadDouble(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    EXPECT_TRUE(error == std::errc() && end == text.data() + text.size()) << text;
    return value;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells;
    std::istringstream in(line);
    for (std::string cell; std::getline(in, cell, ',');) cells.push_back(cell);
    return cells;
}

// The values of a CSV output in the raw layout (magnitudes, then phases);
// checks the header and the frequency column on the way.
std::vector<double> CsvValues(const std::string& path, double rate, std::size_t width) {
    const auto lines = Lines(ReadBytes(path));
    if (lines.empty()) return {};
    const auto header = Cells(lines.front());
    EXPECT_EQ(header[0], "bin");
    EXPECT_EQ(header[1], "frequency_hz");
    EXPECT_EQ(header[2], "magnitude");
    const bool phases = header.size() == 4;
    if (phases) {
        EXPECT_EQ(header[3], "phase_deg");
    }
    const std::size_t bins = lines.size() - 1;
    std::vector<double> values(bins * (phases ? 2 : 1));
    for (std::size_t k = 0; k < bins; ++k) {
        const auto cells = Cells(lines[k + 1]);
        EXPECT_EQ(cells.size(), header.size()) << path << " line " << k + 2;
        EXPECT_EQ(cells[0], std::to_string(k));
        EXPECT_EQ(ReadDouble(cells[1]), static_cast<double>(k) * rate / static_cast<double>(width));
        values[k] = ReadDouble(cells[2]);
        if (phases) values[bins + k] = ReadDouble(cells[3]);
    }
    return values;
}

std::vector<double> F32Values(const std::string& path) {
    const std::string bytes = ReadBytes(path);
    std::vector<double> values(bytes.size() / 4);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::uint32_t word = 0;
        for (int b = 0; b < 4; ++b) word |= std::uint32_t{static_cast<unsigned char>(bytes[4 * i + b])} << (8 * b);
        float f;
        std::memcpy(&f, &word, 4);
        values[i] = f;
    }
    return values;
}

std::vector<double> NpyValues(const std::string& path, std::string& shape) {
    const std::string bytes = ReadBytes(path);
    if (bytes.size() < 10) return {};
    const std::size_t header = 10 + static_cast<unsigned char>(bytes[8]) + 256 * static_cast<unsigned char>(bytes[9]);
    EXPECT_EQ(header % 64, 0u);
    const std::size_t at = bytes.find("'shape': (");
    shape = bytes.substr(at + 10, bytes.find(')', at) - at - 10);
    std::vector<double> values((bytes.size() - header) / 8);
    std::memcpy(values.data(), bytes.data() + header, values.size() * 8);
    return values;
}

struct Method {
    std::string letters;
    std::vector<std::string> extra;  // D
    int outputs;                     // numbered outputs, 0 for one unnumbered
};

// Rounding a csv, f32 or npy value half to even and clamping it to +-32767
// gives the raw output's sample, for every method and window.
TEST(tavox_options_test, every_format_rounds_to_the_raw_output_for_every_method_and_window) {
    TempDir dir;
    WriteSamples(dir.File("s.dat"), Signal(6000, 5));
    const Method methods[] = {{"f", {}, 0}, {"ec", {}, 0}, {"p", {"5"}, 0}, {"mc", {"3"}, 3}};
    constexpr double rate = 44100;
    constexpr std::size_t width = 1024;
    for (const Method& method : methods) {
        for (const char* window : {"p", "h", "f"}) {
            const std::string what = method.letters + " " + window;
            for (const char* format : {"raw", "csv", "f32", "npy"}) {
                std::vector<std::string> arguments = {"--format=" + std::string(format),
                                                      "--rate=44100",
                                                      method.letters,
                                                      window,
                                                      std::to_string(width),
                                                      dir.File("s.dat"),
                                                      std::string(format) + "_*." + format};
                arguments.insert(arguments.end(), method.extra.begin(), method.extra.end());
                const auto r = RunTavox(arguments);
                ASSERT_EQ(r.status, 0) << what << " " << format << ": " << r.err;
            }
            for (int k = method.outputs == 0 ? 0 : 1; k <= method.outputs; ++k) {
                char number[16];
                std::snprintf(number, sizeof number, "%03d", k);
                auto path = [&](const std::string& format) {
                    return dir.File(format + "_s." + (k == 0 ? format : std::string(number)));
                };
                const auto raw = ReadSamples(path("raw"));
                const std::size_t expected = method.letters[0] == 'f' ? width : width / 2;
                ASSERT_EQ(raw.size(), expected) << what;
                if (method.letters.size() == 1) {  // not centred: the offset is clamped
                    EXPECT_EQ(raw[0], 32767) << what;
                }
                std::string shape;
                const std::map<std::string, std::vector<double>> formats = {
                    {"csv", CsvValues(path("csv"), rate, width)},
                    {"f32", F32Values(path("f32"))},
                    {"npy", NpyValues(path("npy"), shape)},
                };
                EXPECT_EQ(shape, method.letters[0] == 'f' ? "2, 512" : "512,") << what;
                for (const auto& [format, values] : formats) {
                    ASSERT_EQ(values.size(), raw.size()) << what << " " << format;
                    for (std::size_t i = 0; i < raw.size(); ++i) {
                        ASSERT_EQ(Data::ToSample16(values[i]), raw[i]) << what << " " << format << " value " << i;
                    }
                    // Unrounded: most values carry a fraction.
                    const auto whole =
                        std::count_if(values.begin(), values.end(), [](double v) { return v == std::nearbyint(v); });
                    EXPECT_LT(whole, static_cast<long>(values.size() / 4)) << what << " " << format;
                }
            }
        }
    }
}

Json ParseLine(const std::string& line) {
    Json object = Json::parse(line, nullptr, false);
    EXPECT_FALSE(object.is_discarded()) << line;
    return object;
}

std::set<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix) {
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) found.insert(entry.path().string());
    }
    return found;
}

TEST(tavox_options_test, report_names_each_file_with_what_was_written_and_ends_with_the_totals) {
    TempDir dir;
    TempDir elsewhere;
    WriteSamples(dir.File("a.dat"), Signal(4000, 1));
    WriteSamples(dir.File("b.dat"), Signal(200, 2));  // shorter than one exposure
    const std::string odd = std::string("c\xff") + ".dat";
    WriteSamples(dir.File(odd), Signal(3000, 3));
    const std::string report = elsewhere.File("r.jsonl");

    const auto r = RunTavox(
        {"--format=npy", "--rate=8000", "--report=" + report, "mc", "h", "256", dir.Path() + "*.dat", "m_*.npy", "3"});
    EXPECT_EQ(r.status, 1) << r.err;
    const auto lines = Lines(ReadBytes(report));
    ASSERT_EQ(lines.size(), 4u);
    const std::pair<std::string, int> expected[] = {{"a", 1101}, {"b", 1106}, {"c", 1101}};
    for (std::size_t i = 0; i < 3; ++i) {
        const Json line = ParseLine(lines[i]);
        const auto& [name, code] = expected[i];
        EXPECT_EQ(line["type"], "file");
        const std::string input = line["input"];
        EXPECT_EQ(input.rfind(dir.Path() + name, 0), 0u) << input;
        EXPECT_EQ(line["code"], code);
        EXPECT_EQ(line["message_en"],
                  code == 1101 ? "The transform went well" : "The evaluation range did not fit the length of the file");
        EXPECT_EQ(line["message_cs"], code == 1101 ? "Transformace proběhla vpořádku"
                                                   : "Žádané hranice hodnocení neodpovídaly délce souboru");
        EXPECT_EQ(line["samples"], i == 0 ? 4000 : i == 1 ? 200 : 3000);
        EXPECT_EQ(line["exposures"], code == 1101 ? 3 : 0);
        EXPECT_EQ(line["width"], 256);
        EXPECT_EQ(line["window"], "hann");
        EXPECT_EQ(line["method"], "multi");
        EXPECT_EQ(line["center"], true);
        EXPECT_EQ(line["format"], "npy");
        EXPECT_EQ(line["rate_hz"], 8000.0);
        EXPECT_EQ(line["bin_hz"], 31.25);
        EXPECT_GE(line["seconds"].get<double>(), 0.0);
        // The outputs named are exactly the outputs of this input on disk.
        std::set<std::string> named;
        for (const auto& output : line["outputs"]) named.insert(output.get<std::string>());
        std::set<std::string> written = FilesStartingWith(dir.Path(), "m_" + name);
        if (i == 2) {  // a byte that is not UTF-8 is shown escaped, as in the result lines
            EXPECT_EQ(input, dir.Path() + "c\\xff.dat");
            EXPECT_EQ(written.size(), 3u);
            EXPECT_EQ(named.size(), 3u);
            continue;
        }
        EXPECT_EQ(named, written) << name;
        EXPECT_EQ(written.size(), code == 1101 ? 3u : 0u);
    }
    const Json totals = ParseLine(lines[3]);
    EXPECT_EQ(totals["type"], "totals");
    EXPECT_EQ(totals["files"], 3);
    EXPECT_EQ(totals["done"], 3);
    EXPECT_EQ(totals["failed"], 1);
    EXPECT_EQ(totals["interrupted"], false);
    EXPECT_EQ(totals["exit_status"], r.status);
    // The terminal lines stay as they are.
    EXPECT_EQ(Lines(r.out).size(), 4u);
}

TEST(tavox_options_test, quiet_and_a_report_on_standard_output_replace_the_result_lines) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Signal(4000, 1));
    WriteSamples(dir.File("b.dat"), Signal(4000, 2));
    const std::vector<std::string> batch = {"p", "h", "1024", dir.Path() + "*.dat", "*.avg", "4"};
    auto with = [&](std::vector<std::string> options) {
        options.insert(options.end(), batch.begin(), batch.end());
        return RunTavox(options);
    };

    auto r = with({"--quiet"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");

    r = with({"--report=-", "--average=rms"});
    EXPECT_EQ(r.status, 0) << r.err;
    auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(ParseLine(lines[0])["average"], "rms");
    EXPECT_EQ(ParseLine(lines[1])["outputs"], Json::array({dir.File("b.avg")}));
    EXPECT_EQ(ParseLine(lines[2])["exit_status"], 0);

    r = with({"--report=-", "--quiet"});
    lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    EXPECT_EQ(ParseLine(lines[0])["type"], "totals");
    EXPECT_EQ(r.err, "");
}

TEST(tavox_options_test, bad_options_exit_with_2_and_one_line_and_touch_nothing) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Signal(2048, 1));
    WriteSamples(dir.File("a.o"), {1, 2, 3});
    const std::string input = ReadBytes(dir.File("a.dat"));
    const std::string output = ReadBytes(dir.File("a.o"));
    const std::vector<std::string> fields = {"e", "h", "1024", dir.File("a.dat"), "*.o"};
    const std::vector<std::vector<std::string>> refused = {
        {"--format=xls"},
        {"--rate=0"},
        {"--rate=abc"},
        {"--average=rms"},  // method e
        {"--report=" + dir.File("missing/r.jsonl")},
        {"--unknown"},
        {"--format"},
        {"--jobs=-2"},
        {"--jobs=300"},
        {"--layout=matrix", "--format=npz"},  // method e
        {"--format=npz"},
    };
    for (const auto& options : refused) {
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), fields.begin(), fields.end());
        const auto r = RunTavox(arguments);
        EXPECT_EQ(r.status, 2) << options[0];
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("tavox: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        const std::string name = options[0].substr(0, options[0].find('='));
        EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
    }
    std::vector<std::string> late = fields;
    late.push_back("--format=csv");
    EXPECT_EQ(RunTavox(late).status, 2);
    EXPECT_EQ(ReadBytes(dir.File("a.dat")), input);
    EXPECT_EQ(ReadBytes(dir.File("a.o")), output);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

// The number of threads changes nothing but the time: the same outputs and
// the same lines. TAVOX_JOBS stands in for --jobs; a value that is no count
// refuses the batch, unless --jobs is given.
TEST(tavox_options_test, jobs_change_neither_outputs_nor_lines) {
    std::map<std::string, std::string> first;
    std::string firstOut;
    const std::vector<std::vector<std::string>> runs = {
        {"--jobs=1"}, {"--jobs=2"}, {"--jobs=7"}, {"--jobs=0"}, {"TAVOX_JOBS=5"}, {"TAVOX_JOBS=nine", "--jobs=3"}};
    for (const auto& run : runs) {
        TempDir dir;
        for (unsigned i = 0; i < 40; ++i)
            WriteSamples(dir.File("s" + std::to_string(10 + i) + ".dat"), Signal(700 + 50 * i, i));
        std::vector<std::string> set;
        std::vector<std::string> arguments = {"--format=csv", "--rate=8000"};
        for (const std::string& part : run) (part.rfind("TAVOX_JOBS=", 0) == 0 ? set : arguments).push_back(part);
        for (const char* field : {"fc", "h", "512"}) arguments.emplace_back(field);
        arguments.push_back(dir.File("*.dat"));
        arguments.emplace_back("*.csv");
        const auto r = test::RunProgram(TAVOX_EXE, arguments, test::DisplayVariables, set);
        ASSERT_EQ(r.status, 0) << r.err;
        std::map<std::string, std::string> outputs;
        for (const auto& entry : fs::directory_iterator(dir.Path())) {
            outputs[entry.path().filename().string()] = ReadBytes(entry.path().string());
        }
        ASSERT_EQ(outputs.size(), 80u);
        if (first.empty()) {
            first = outputs;
            firstOut = r.out;
            continue;
        }
        EXPECT_TRUE(outputs == first) << run.front();
        EXPECT_EQ(r.out, firstOut) << run.front();
    }

    TempDir dir;
    WriteSamples(dir.File("a.dat"), Signal(2048, 1));
    const auto refused = test::RunProgram(TAVOX_EXE, {"e", "h", "1024", dir.File("a.dat"), "*.o"},
                                          test::DisplayVariables, {"TAVOX_JOBS=-1"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err,
              "tavox: TAVOX_JOBS=-1 is not a number of threads; give a number of threads from 1 to 256, or 0 for every "
              "CPU\n");
    EXPECT_FALSE(fs::exists(dir.File("a.o")));
    EXPECT_EQ(test::RunProgram(TAVOX_EXE, {"--help"}, test::DisplayVariables, {"TAVOX_JOBS=-1"}).status, 0);
}

// A refused command line creates no report; an unwritable one stops the run
// before its first file.
TEST(tavox_options_test, shards_together_transform_the_whole_batch_once) {
    TempDir whole;
    TempDir shared;
    for (int i = 0; i < 7; ++i) {
        const std::string name = "s" + std::to_string(i) + ".dat";
        WriteSamples(whole.File(name), Signal(300, static_cast<unsigned>(i)));
        WriteSamples(shared.File(name), Signal(300, static_cast<unsigned>(i)));
    }
    const auto all = RunTavox({"--report=" + whole.File("r.jsonl"), "e", "h", "128", whole.File("*.dat"), "*.spc"});
    ASSERT_EQ(all.status, 0) << all.err;

    // Job arrays numbered 1..N: N stands for share 0.
    std::multiset<std::string> inputs;
    for (int k = 1; k <= 3; ++k) {
        const std::string report = shared.File("r" + std::to_string(k) + ".jsonl");
        const auto part = RunTavox({"--shard=" + std::to_string(k) + "/3", "--report=" + report, "e", "h", "128",
                                    shared.File("*.dat"), "*.spc"});
        ASSERT_EQ(part.status, 0) << part.err;
        const auto lines = Lines(ReadBytes(report));
        ASSERT_GE(lines.size(), 2u);
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) inputs.insert(Json::parse(lines[i])["input"]);
        EXPECT_EQ(Json::parse(lines.back())["shard"], std::to_string(k % 3) + "/3");
        EXPECT_EQ(lines.size() - 1, k == 2 ? 3u : 2u) << k;  // 7 files in shares of 2, 2 and 3
    }
    std::multiset<std::string> expected;
    for (int i = 0; i < 7; ++i) expected.insert(shared.File("s" + std::to_string(i) + ".dat"));
    EXPECT_EQ(inputs, expected);
    for (int i = 0; i < 7; ++i) {
        const std::string name = "s" + std::to_string(i) + ".spc";
        EXPECT_EQ(ReadBytes(shared.File(name)), ReadBytes(whole.File(name))) << name;
    }

    // More shares than files: an empty share is all right, and says so.
    const auto empty = RunTavox({"--shard=0/20", "e", "h", "128", shared.File("*.dat"), "*.spc"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.err,
              "tavox: share 0/20 holds none of the 7 input files that match \"" + shared.File("*.dat") + "\"\n");
    const auto none = RunTavox({"--shard=0/20", "e", "h", "128", shared.File("*.xyz"), "*.spc"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "tavox: no input file matches \"" + shared.File("*.xyz") + "\"\n");
}

TEST(tavox_options_test, report_is_created_only_by_a_run) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Signal(2048, 1));
    const std::string report = dir.File("r.jsonl");
    auto r = RunTavox({"--report=" + report, "x", "h", "1024", dir.File("a.dat"), "*.o"});
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(fs::exists(report));

    // A link to a missing folder passes the check of the command line but
    // cannot be opened.
    fs::create_symlink(dir.File("missing/r.jsonl"), dir.File("link.jsonl"));
    r = RunTavox({"--report=" + dir.File("link.jsonl"), "e", "h", "1024", dir.File("a.dat"), "*.o"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("tavox: cannot write the report " + dir.File("link.jsonl") + ": ", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(dir.File("a.o")));
}

// 999 exposures of 65536 bins are 256 MB of magnitudes: the median keeps them
// in a temporary file, and the process stays small.
TEST(tavox_options_test, median_of_999_wide_exposures_keeps_peak_memory_within_64_mib) {
    TempDir dir;
    WriteSamples(dir.File("long.dat"), Signal(300000, 9));
    const auto r =
        test::RunProgram(TAVOX_EXE, {"--average=median", "p", "h", "65536", dir.File("long.dat"), "*.med", "999"},
                         test::DisplayVariables, {"TMPDIR=" + dir.Path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadSamples(dir.File("long.med")).size(), 32768u);
    RecordProperty("peak_kb", std::to_string(r.maxRssKb));
    EXPECT_LT(r.maxRssKb, 64 * 1024);
    // The temporary file has no name and is gone with the process.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

// The matrix of 999 exposures of 65536 samples (256 MB of values) streams
// out row by row, so the process stays small; the report names it once,
// with its shape. Without a format that holds the axes it is refused.
TEST(tavox_options_test, a_matrix_of_999_wide_exposures_keeps_peak_memory_within_64_mib_and_is_reported_once) {
    TempDir dir;
    WriteSamples(dir.File("long.dat"), Signal(300000, 9));
    const auto r = RunTavox({"--layout=matrix", "--format=npz", "--report=" + dir.File("r.jsonl"), "m", "h", "65536",
                             dir.File("long.dat"), "*.npz", "999"});
    EXPECT_EQ(r.status, 0) << r.err;
    RecordProperty("peak_kb", std::to_string(r.maxRssKb));
    EXPECT_LT(r.maxRssKb, 64 * 1024);
    EXPECT_GT(fs::file_size(dir.File("long.npz")), 999u * 32768 * 8);
    const Json line = ParseLine(Lines(ReadBytes(dir.File("r.jsonl"))).at(0));
    EXPECT_EQ(line["outputs"], Json::array({dir.File("long.npz")}));
    EXPECT_EQ(line["layout"], "matrix");
    EXPECT_EQ(line["shape"], Json::array({999, 32768}));
    EXPECT_EQ(line["exposures"], 999);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 3);

    const auto raw = RunTavox({"--layout=matrix", "m", "h", "1024", dir.File("long.dat"), "*.npz", "9"});
    EXPECT_EQ(raw.status, 2);
    EXPECT_EQ(raw.err.rfind("tavox: --layout=matrix needs a format that holds the matrix", 0), 0u) << raw.err;
}

TEST(tavox_options_test, self_test_prints_a_table_and_passes) {
    const auto r = RunTavox({"--self-test"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.rfind("TAVOX 3.0.0 self-test on this processor", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("fast kernel = reference, portable"), std::string::npos);
    EXPECT_NE(r.out.find("\nall checks passed in "), std::string::npos) << r.out;
    EXPECT_EQ(RunTavox({"--self-test", "e"}).status, 2);
}

}  // namespace
}  // namespace tavox
