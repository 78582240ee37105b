// qrkit batch, run as a process: its output equals single encodes and does not depend on the number of
// threads; failures are listed and do not stop the batch.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "qrkit/qrkit.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A CSV field as the batch writes it: quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

struct Expected {
    int line;
    std::string data;
};

// The CSV the batch must write for records, built from single encodes through the library.
std::string expectedCsv(const std::vector<Expected>& records, int level) {
    std::string csv = "line,data,font,error\n";
    for (const Expected& record : records) {
        std::string font;
        std::string error;
        QRCODE_RESULT handle = nullptr;
        const std::int32_t result = QRCodeEncode(record.data.c_str(), 0, level, &handle);
        if (result == 0) {
            font = QRCodeResultGetBarcodeString2(handle, "\n");
            DestroyQRCodeEncodeResult(handle);
        } else {
            error = QRCodeGetErrorMessage(result);
        }
        csv += std::to_string(record.line) + "," + csvField(record.data) + "," + csvField(font) + "," +
               csvField(error) + "\n";
    }
    return csv;
}

class Batch : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::path(testing::TempDir()) / ("qrkit_batch_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(Batch, LinesToFontStringsOnOneAndTwoThreads) {
    // 600 records: more than two chunks of work, so that both threads take some.
    std::string input;
    std::vector<Expected> records;
    for (int k = 1; k <= 600; ++k) {
        std::string data = k % 3 == 0
                               ? std::to_string(k * 7919)
                               : (k % 3 == 1 ? "ITEM " + std::to_string(k) : "item, #" + std::to_string(k));
        if (k == 100) data = "~2[0][3]X";  // fails: invalid structured-append position
        if (k == 250) data = "say \"hi\"";
        input += data + (k % 2 == 0 ? "\r\n" : "\n");
        if (k == 300) input += "\n";  // an empty line is no record, but counts as a line
        records.push_back(Expected{k <= 300 ? k : k + 1, data});
    }
    writeFile(path("records.txt"), input);

    const tooltest::ToolRun one = tooltest::runTool("batch -e --level Q --threads 1 --csv " +
                                                    path("one.csv") + " " + path("records.txt"));
    const tooltest::ToolRun two = tooltest::runTool("batch -e --level Q --threads 2 --csv " +
                                                    path("two.csv") + " " + path("records.txt"));
    EXPECT_EQ(one.status, 1) << one.out;  // one record failed
    EXPECT_EQ(two.status, 1) << two.out;
    EXPECT_NE(one.out.find("600 records, 1 failed"), std::string::npos) << one.out;
    EXPECT_NE(two.out.find("on 2 threads"), std::string::npos) << two.out;
    EXPECT_NE(one.out.find("line 100: Invalid Sequence in Structural Append block"), std::string::npos)
        << one.out;

    const std::string csv = readFile(path("one.csv"));
    EXPECT_EQ(csv, readFile(path("two.csv")));
    EXPECT_EQ(csv, expectedCsv(records, 2));

    // To standard output, and a clean batch exits with 0.
    writeFile(path("clean.txt"), "A\nB\n");
    const tooltest::ToolRun clean = tooltest::runTool("batch --level Q " + path("clean.txt"), "/dev/null");
    EXPECT_EQ(clean.status, 0);
    EXPECT_EQ(clean.out, expectedCsv({{1, "A"}, {2, "B"}}, 2));
}

TEST_F(Batch, CsvColumnsToImageFiles) {
    writeFile(path("items.csv"),
              "id,url,name\r\n"
              "1,https://a.example/x,\"Alpha, Inc\"\r\n"
              "2,\"https://b.example/\"\"q\"\"\",Beta\r\n"
              "3,\"two\nlines\",Gamma\r\n"
              "4\r\n"
              "5,https://e.example,Epsilon\r\n");
    const std::vector<Expected> urls = {{2, "https://a.example/x"},
                                        {3, "https://b.example/\"q\""},
                                        {4, "two\nlines"},
                                        {7, "https://e.example"}};

    for (const char* threads : {"1", "2"}) {
        SCOPED_TRACE(threads);
        const std::string folder = path(std::string("svg") + threads);
        const tooltest::ToolRun run =
            tooltest::runTool("batch --column url --threads " + std::string(threads) + " -o " + folder +
                              "/{n}-{line}.svg " + path("items.csv"));
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_NE(run.out.find("line 6: the row has no column url"), std::string::npos) << run.out;
        int number = 0;
        for (const Expected& url : urls) {
            ++number;
            if (url.line == 7) ++number;  // record 4 (line 6) failed
            const std::string file =
                folder + "/" + std::to_string(number) + "-" + std::to_string(url.line) + ".svg";
            ASSERT_TRUE(fs::exists(file)) << file;
            // The same bytes as a single encode of the record.
            writeFile(path("data.txt"), url.data);
            const std::string single = path("single.svg");
            ASSERT_EQ(tooltest::runTool("encode -o " + single + " --file " + path("data.txt")).status, 0);
            EXPECT_EQ(readFile(file), readFile(single)) << file;
        }
    }

    // A column by number, the header skipped; {field} names the files (a comma and a space are safe in
    // file names and stay).
    const tooltest::ToolRun byNumber = tooltest::runTool("batch --column 3 --header -o " + path("named") +
                                                         "/{field}.bmp " + path("items.csv"));
    EXPECT_EQ(byNumber.status, 1);  // the row without a third column
    EXPECT_TRUE(fs::exists(path("named/Alpha, Inc.bmp")));
    EXPECT_TRUE(fs::exists(path("named/Epsilon.bmp")));
}

TEST_F(Batch, UsageErrors) {
    writeFile(path("one.txt"), "X\n");
    const struct {
        const char* name;
        std::string arguments;
        int status;
        const char* text;
    } cases[] = {
        {"no input", "batch", 2, "input file"},
        {"a pattern that names one file", "batch -o " + path("x.png") + " " + path("one.txt"), 2, "{n}"},
        {"unknown image format", "batch -o " + path("{n}.gif") + " " + path("one.txt"), 2, "--format"},
        {"no such column", "batch --column nothing " + path("one.txt"), 1, "no column named nothing"},
        {"bad thread count", "batch --threads 0 " + path("one.txt"), 2, "--threads"},
        {"missing input", "batch " + path("missing.txt"), 3, "cannot read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tooltest::ToolRun run = tooltest::runTool(c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.out.find(c.text), std::string::npos) << run.out;
    }
}

}  // namespace
