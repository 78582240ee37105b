// qrkit batch: many records encoded on all cores into image files or a CSV of font strings.
//
// Records are numbered in file order and each is encoded on its own, so the output (file names, file
// bytes, CSV rows) is the same whatever the number of threads. Workers take chunks of records from a
// shared counter; the main thread writes the CSV rows chunk by chunk in order and draws the progress bar.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/encode_options.h"
#include "cli/image_output.h"
#include "cli/progress.h"

namespace qrkit_cli {

namespace {

constexpr std::size_t kChunk = 256;          // records a worker takes at a time
constexpr std::size_t kFailuresListed = 50;  // failures the summary names one by one

struct Record {
    int line = 0;  // where the record starts in the file, from 1
    std::string data;
    std::string error;  // set when the record cannot even be read (a missing column)
};

struct Outcome {
    std::string font;
    std::string error;
};

struct BatchRequest {
    SymbolSettings symbol;
    ImageRequest image;  // image.path is the pattern
    int quietZone = -1;
    std::string input;
    std::string csvPath;  // empty: standard output
    std::string separator = "\n";
    std::string column;  // empty: one record a line
    bool header = false;
    int threads = 0;
};

// One record a line; a carriage return before the line feed is dropped, empty lines are skipped.
std::vector<Record> lineRecords(const std::string& text) {
    std::vector<Record> records;
    int line = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++line;
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') --stop;
        if (stop > start) records.push_back(Record{line, text.substr(start, stop - start), ""});
        start = end + 1;
    }
    return records;
}

// The rows of a CSV text (RFC 4180: fields separated by commas, a field in double quotes may hold
// commas, line breaks and doubled quotes), each with the line it starts on.
struct CsvRow {
    int line;
    std::vector<std::string> fields;
};

std::vector<CsvRow> csvRows(const std::string& text) {
    std::vector<CsvRow> rows;
    int line = 1;
    std::size_t p = 0;
    const std::size_t n = text.size();
    while (p < n) {
        CsvRow row{line, {}};
        std::string field;
        bool rowEnded = false;
        while (!rowEnded) {
            field.clear();
            if (p < n && text[p] == '"') {
                ++p;
                while (p < n) {
                    if (text[p] == '"') {
                        if (p + 1 < n && text[p + 1] == '"') {
                            field += '"';
                            p += 2;
                            continue;
                        }
                        ++p;
                        break;
                    }
                    if (text[p] == '\n') ++line;
                    field += text[p++];
                }
                // Anything between the closing quote and the next separator belongs to the field.
                while (p < n && text[p] != ',' && text[p] != '\n' && text[p] != '\r')
                    field += text[p++];
            } else {
                while (p < n && text[p] != ',' && text[p] != '\n' && text[p] != '\r')
                    field += text[p++];
            }
            row.fields.push_back(field);
            if (p < n && text[p] == ',') {
                ++p;
                continue;
            }
            if (p < n && text[p] == '\r') ++p;
            if (p < n && text[p] == '\n') ++p;
            ++line;
            rowEnded = true;
        }
        const bool blank = row.fields.size() == 1 && row.fields[0].empty();
        if (!blank) rows.push_back(std::move(row));
    }
    return rows;
}

// The records of one CSV column. column is a number from 1 or a header name.
bool columnRecords(const std::string& text, const std::string& column, bool header,
                   std::vector<Record>* records, std::string* error) {
    std::vector<CsvRow> rows = csvRows(text);
    std::size_t index = 0;
    char* end = nullptr;
    const long number = std::strtol(column.c_str(), &end, 10);
    const bool byNumber = !column.empty() && *end == '\0';
    std::size_t first = 0;
    if (byNumber) {
        if (number < 1) {
            *error = "--column takes a column number from 1 or a column name";
            return false;
        }
        index = static_cast<std::size_t>(number - 1);
        first = header ? 1 : 0;
    } else {
        if (rows.empty()) {
            *error = "the CSV has no header row to find the column " + column + " in";
            return false;
        }
        const std::vector<std::string>& names = rows[0].fields;
        auto found = std::find(names.begin(), names.end(), column);
        if (found == names.end()) {
            *error = "the CSV has no column named " + column;
            return false;
        }
        index = static_cast<std::size_t>(found - names.begin());
        first = 1;
    }
    for (std::size_t r = first; r < rows.size(); ++r) {
        Record record{rows[r].line, "", ""};
        if (index < rows[r].fields.size()) {
            record.data = rows[r].fields[index];
        } else {
            record.error = "the row has no column " + column;
        }
        records->push_back(std::move(record));
    }
    return true;
}

// The record's data made safe for a file name: letters, digits, '.', '-' and '_' kept, every other byte
// '_', at most 80 characters, never empty, "." or "..".
std::string safeName(const std::string& data) {
    std::string name;
    for (unsigned char c : data) {
        if (name.size() == 80) break;
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '.' || c == '-' || c == '_';
        name += keep ? static_cast<char>(c) : '_';
    }
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return name;
}

std::string expandPattern(const std::string& pattern, std::size_t number, const Record& record) {
    std::string path;
    for (std::size_t p = 0; p < pattern.size();) {
        if (pattern.compare(p, 3, "{n}") == 0) {
            path += std::to_string(number);
            p += 3;
        } else if (pattern.compare(p, 6, "{line}") == 0) {
            path += std::to_string(record.line);
            p += 6;
        } else if (pattern.compare(p, 7, "{field}") == 0) {
            path += safeName(record.data);
            p += 7;
        } else {
            path += pattern[p++];
        }
    }
    return path;
}

void appendCsvField(std::string& out, const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// Encodes one record: the font string, or the image file at path.
Outcome encodeRecord(const Record& record, const BatchRequest& request, const std::string& path) {
    Outcome outcome;
    if (!record.error.empty()) {
        outcome.error = record.error;
        return outcome;
    }
    if (record.data.find('\0') != std::string::npos) {
        outcome.error = "the data hold a zero byte; write it as ~d000 or ~@";
        return outcome;
    }
    QRCODE_RESULT handle = nullptr;
    const std::int32_t result = encodeSymbol(record.data, request.symbol, &handle);
    if (result != 0) {
        outcome.error = QRCodeGetErrorMessage(result);
        return outcome;
    }
    if (path.empty()) {
        const char* text = QRCodeResultGetBarcodeString2(handle, request.separator.c_str());
        if (text != nullptr) {
            outcome.font = text;
        } else {
            outcome.error = "out of memory";
        }
    } else {
        ImageRequest image = request.image;
        image.path = path;
        image.quietZone = request.quietZone;
        writeImage(handle, image, &outcome.error);
    }
    DestroyQRCodeEncodeResult(handle);
    return outcome;
}

class ProgressBar {
  public:
    // Drawn only on a terminal, and not over CSV rows going to the same terminal.
    ProgressBar(std::size_t total, bool rowsOnStdout)
        : total_(total),
          shown_(isatty(STDERR_FILENO) != 0 && !(rowsOnStdout && isatty(STDOUT_FILENO) != 0)) {}

    void update(std::size_t done) {
        if (!shown_ || total_ == 0) return;
        constexpr int kWidth = 40;
        const int filled = progressParts(done, total_, kWidth);
        std::fprintf(stderr, "\r[%s%s] %3d%% %zu/%zu",
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(kWidth - filled), ' ').c_str(),
                     progressParts(done, total_, 100), done, total_);
        std::fflush(stderr);
    }
    void finish() {
        if (shown_ && total_ > 0) std::fprintf(stderr, "\r%s\r", std::string(70, ' ').c_str());
    }

  private:
    std::size_t total_;
    bool shown_;
};

int parseBatchArguments(int argc, char** argv, BatchRequest* request) {
    bool haveInput = false;
    for (int i = 0; i < argc; ++i) {
        std::string error;
        OptionRead read = readSymbolOption(argc, argv, &i, &request->symbol, &error);
        if (read == OptionRead::kNotMine)
            read = readImageOption(argc, argv, &i, &request->image, &request->quietZone, &error);
        if (read == OptionRead::kBad) return usageFailure(error);
        if (read == OptionRead::kTaken) continue;
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--column") {
            if (value == nullptr || *value == '\0')
                return usageFailure("--column takes a column number or name");
            request->column = argv[++i];
        } else if (arg == "--header") {
            request->header = true;
        } else if (arg == "--csv") {
            if (value == nullptr) return usageFailure("--csv takes a file name");
            request->csvPath = argv[++i];
        } else if (arg == "--separator") {
            if (value == nullptr) return usageFailure("--separator takes a text");
            std::string text = argv[++i];
            request->separator.clear();
            for (std::size_t k = 0; k < text.size(); ++k) {
                if (text[k] == '\\' && k + 1 < text.size() && std::strchr("nrt\\", text[k + 1]) != nullptr) {
                    const char c = text[++k];
                    request->separator += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : '\\';
                } else {
                    request->separator += text[k];
                }
            }
        } else if (arg == "--threads") {
            char* end = nullptr;
            const long threads = value == nullptr ? 0 : std::strtol(value, &end, 10);
            if (value == nullptr || *end != '\0' || threads < 1 || threads > 1024)
                return usageFailure("--threads takes a number from 1 to 1024");
            request->threads = static_cast<int>(threads);
            ++i;
        } else if (arg != "-" && arg.size() > 1 && arg[0] == '-') {
            return usageFailure("unknown option " + arg);
        } else {
            if (haveInput) return usageFailure("batch takes one input file");
            request->input = arg;
            haveInput = true;
        }
    }
    if (!haveInput) return usageFailure("batch takes an input file ('-' for standard input)");
    const std::string conflict = checkSymbolSettings(request->symbol);
    if (!conflict.empty()) return usageFailure(conflict);
    const std::string& pattern = request->image.path;
    if (!pattern.empty()) {
        if (!request->csvPath.empty()) return usageFailure("-o and --csv do not go together");
        if (pattern.find("{n}") == std::string::npos && pattern.find("{line}") == std::string::npos &&
            pattern.find("{field}") == std::string::npos) {
            return usageFailure("-o needs {n}, {line} or {field} in the file name, one file a record");
        }
        const std::string format =
            request->image.format.empty() ? formatFromPath(pattern) : request->image.format;
        static const char* const kFormats[] = {"png", "bmp", "svg", "eps", "emf"};
        if (std::none_of(std::begin(kFormats), std::end(kFormats),
                         [&](const char* f) { return format == f; }))
            return usageFailure("cannot tell the image format of " + pattern +
                                "; use --format png, bmp, svg, eps or emf");
    }
    if (request->quietZone < 0) request->quietZone = request->symbol.micro ? 2 : 4;
    return 0;
}

}  // namespace

int runBatch(int argc, char** argv) {
    BatchRequest request;
    if (int status = parseBatchArguments(argc, argv, &request)) return status;
    const auto started = std::chrono::steady_clock::now();

    std::string text;
    if (!readInputFile(request.input, &text)) {
        std::cerr << "qrkit: cannot read " << request.input << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    std::vector<Record> records;
    if (request.column.empty()) {
        records = lineRecords(text);
    } else {
        std::string error;
        if (!columnRecords(text, request.column, request.header, &records, &error)) {
            std::cerr << "qrkit: " << error << "\n";
            return 1;
        }
    }
    text.clear();
    text.shrink_to_fit();

    // File names, decided before any thread starts; a name that repeats fails the later records.
    const bool images = !request.image.path.empty();
    std::vector<std::string> paths(images ? records.size() : 0);
    if (images) {
        std::map<std::string, int> firstLine;
        for (std::size_t k = 0; k < records.size(); ++k) {
            paths[k] = expandPattern(request.image.path, k + 1, records[k]);
            auto inserted = firstLine.emplace(paths[k], records[k].line);
            if (!inserted.second && records[k].error.empty())
                records[k].error = "the file name " + paths[k] + " repeats that of line " +
                                   std::to_string(inserted.first->second);
        }
        // The folders the pattern names are made first.
        std::map<std::string, bool> folders;
        for (const std::string& path : paths) {
            const std::filesystem::path folder = std::filesystem::path(path).parent_path();
            if (folder.empty() || !folders.emplace(folder.string(), true).second) continue;
            std::error_code ignored;  // a folder that cannot be made fails its records when they are written
            std::filesystem::create_directories(folder, ignored);
        }
    }

    std::FILE* csv = stdout;
    if (!images && !request.csvPath.empty()) {
        csv = std::fopen(request.csvPath.c_str(), "wb");
        if (csv == nullptr) {
            std::cerr << "qrkit: cannot write " << request.csvPath << ": " << std::strerror(errno) << "\n";
            return 1;
        }
    }

    const std::size_t count = records.size();
    const std::size_t chunks = (count + kChunk - 1) / kChunk;
    std::vector<Outcome> outcomes(count);
    std::vector<char> chunkDone(chunks, 0);
    std::mutex mutex;
    std::condition_variable doneSignal;
    std::atomic<std::size_t> nextChunk{0};
    std::atomic<std::size_t> recordsDone{0};

    auto work = [&] {
        for (;;) {
            const std::size_t chunk = nextChunk.fetch_add(1);
            if (chunk >= chunks) return;
            const std::size_t end = std::min(count, (chunk + 1) * kChunk);
            for (std::size_t k = chunk * kChunk; k < end; ++k) {
                outcomes[k] = encodeRecord(records[k], request, images ? paths[k] : std::string());
                recordsDone.fetch_add(1, std::memory_order_relaxed);
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                chunkDone[chunk] = 1;
            }
            doneSignal.notify_all();
        }
    };
    unsigned threadCount = request.threads > 0 ? static_cast<unsigned>(request.threads)
                                               : std::max(1u, std::thread::hardware_concurrency());
    threadCount = static_cast<unsigned>(std::min<std::size_t>(threadCount, std::max<std::size_t>(chunks, 1)));
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threadCount; ++t)
        workers.emplace_back(work);

    // The CSV rows in record order, chunk by chunk as the chunks are done.
    ProgressBar progress(count, !images && csv == stdout);
    std::string rows = images ? std::string() : std::string("line,data,font,error\n");
    std::size_t failed = 0;
    std::vector<std::string> failures;
    for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            while (!chunkDone[chunk]) {
                doneSignal.wait_for(lock, std::chrono::milliseconds(100));
                lock.unlock();
                progress.update(recordsDone.load(std::memory_order_relaxed));
                lock.lock();
            }
        }
        const std::size_t end = std::min(count, (chunk + 1) * kChunk);
        for (std::size_t k = chunk * kChunk; k < end; ++k) {
            Outcome& outcome = outcomes[k];
            if (!outcome.error.empty()) {
                ++failed;
                if (failures.size() < kFailuresListed)
                    failures.push_back("line " + std::to_string(records[k].line) + ": " + outcome.error);
            }
            if (!images) {
                rows += std::to_string(records[k].line);
                rows += ',';
                appendCsvField(rows, records[k].data);
                rows += ',';
                appendCsvField(rows, outcome.font);
                rows += ',';
                appendCsvField(rows, outcome.error);
                rows += '\n';
            }
            outcome = Outcome();
        }
        if (!rows.empty()) {
            std::fwrite(rows.data(), 1, rows.size(), csv);
            rows.clear();
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    progress.update(count);
    progress.finish();
    if (!images && !rows.empty()) std::fwrite(rows.data(), 1, rows.size(), csv);
    bool writeFailed = std::ferror(csv) != 0;
    if (csv != stdout) {
        writeFailed = std::fclose(csv) != 0 || writeFailed;
    } else {
        writeFailed = std::fflush(csv) != 0 || writeFailed;
    }

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char timing[96];
    std::snprintf(timing, sizeof timing, "%.2f s, %.0f records a second", seconds,
                  seconds > 0 ? static_cast<double>(count) / seconds : 0.0);
    std::cerr << "qrkit: " << count << (count == 1 ? " record, " : " records, ") << failed << " failed, "
              << timing << " on " << threadCount << (threadCount == 1 ? " thread\n" : " threads\n");
    for (const std::string& failure : failures)
        std::cerr << "  " << failure << "\n";
    if (failed > failures.size()) std::cerr << "  ... and " << failed - failures.size() << " more\n";
    if (writeFailed) {
        std::cerr << "qrkit: writing the CSV failed\n";
        return 1;
    }
    return failed == 0 ? 0 : 1;
}

}  // namespace qrkit_cli
