// qrkit batch: many records encoded on all cores into image files or a CSV of font strings.
//
// Records are numbered in file order and each is encoded on its own, so the output (file names, file
// bytes, CSV rows) is the same whatever the number of threads. Workers take chunks of records from a
// shared counter; the main thread writes the CSV rows chunk by chunk in order and draws the progress bar.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/csv.h"
#include "cli/encode_options.h"
#include "cli/image_output.h"
#include "cli/input_source.h"
#include "cli/literal_data.h"
#include "cli/messages.h"
#include "cli/name_pattern.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/progress.h"

namespace qrkit_cli {

namespace {

constexpr std::size_t kChunk = 256;          // records a worker takes at a time
constexpr std::size_t kFailuresListed = 50;  // failures (and notes) the summary names one by one

struct Record {
    int line = 0;  // where the record starts in the file, from 1
    std::string data;
    std::vector<std::string> fields;  // the record's CSV row, kept when file names use its columns
    std::string error;                // set when the record cannot even be read
    int errorStatus = kExitData;
};

struct Outcome {
    std::string font;
    std::string error;     // why the record failed, with what helps
    std::string csvError;  // for the CSV's error column: the library's message alone, when it has one
    int status = 0;        // kExitData or kExitIo when the record failed
    std::string note;
};

// One record a line (a leading byte-order mark skipped); a carriage return before the line feed is
// dropped, empty lines are skipped.
std::vector<Record> lineRecords(std::string_view text) {
    text = withoutByteOrderMark(text);
    std::vector<Record> records;
    records.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    int line = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++line;
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') --stop;
        if (stop > start) {
            Record record;
            record.line = line;
            record.data = std::string(text.substr(start, stop - start));
            records.push_back(std::move(record));
        }
        start = end + 1;
    }
    return records;
}

// The index of a column given as a number from 1 or a header name; false with the reason.
bool columnIndex(const std::string& column, const std::vector<std::string>* names, std::size_t* index,
                 std::string* error) {
    char* end = nullptr;
    const long number = std::strtol(column.c_str(), &end, 10);
    if (!column.empty() && *end == '\0') {
        if (number < 1) {
            *error = "column numbers start at 1 (not " + column + ")";
            return false;
        }
        *index = static_cast<std::size_t>(number - 1);
        return true;
    }
    if (names == nullptr) {
        *error = "the CSV has no header row to find the column " + column + " in";
        return false;
    }
    auto found = std::find(names->begin(), names->end(), column);
    if (found == names->end()) {
        *error = "the CSV has no column named " + column;
        return false;
    }
    *index = static_cast<std::size_t>(found - names->begin());
    return true;
}

struct BatchRequest {
    ToolOptions options;
    std::vector<PatternPiece> pattern;  // the pieces of -o
    bool patternUsesColumns = false;
};

// The records of one CSV column, and the column pieces of the pattern resolved.
bool columnRecords(std::string_view text, BatchRequest* request, std::vector<Record>* records,
                   std::string* error) {
    std::vector<CsvRow> rows = readCsv(text);
    const ToolOptions& options = request->options;
    char* end = nullptr;
    std::strtol(options.column.c_str(), &end, 10);
    const bool byNumber = !options.column.empty() && *end == '\0';
    bool header = options.header || !byNumber;
    for (const PatternPiece& piece : request->pattern) {
        if (piece.kind != PatternPiece::kColumn) continue;
        std::strtol(piece.text.c_str(), &end, 10);
        if (*end != '\0') header = true;  // a column named in the pattern needs the header's names
    }
    const std::vector<std::string>* names = nullptr;
    if (header && !rows.empty()) {
        if (!rows[0].error.empty()) {
            *error =
                "the header row (line " + std::to_string(rows[0].line) + ") is malformed: " + rows[0].error;
            return false;
        }
        names = &rows[0].fields;
    }
    std::size_t index = 0;
    if (!columnIndex(options.column, names, &index, error)) return false;
    for (PatternPiece& piece : request->pattern) {
        if (piece.kind == PatternPiece::kColumn && !columnIndex(piece.text, names, &piece.column, error))
            return false;
    }
    for (std::size_t r = header ? 1 : 0; r < rows.size(); ++r) {
        Record record;
        record.line = rows[r].line;
        if (!rows[r].error.empty()) {
            record.error = "malformed CSV: " + rows[r].error;
        } else if (index < rows[r].fields.size()) {
            record.data = rows[r].fields[index];
        } else {
            record.error = "the row has no column " + options.column;
        }
        if (request->patternUsesColumns) record.fields = std::move(rows[r].fields);
        records->push_back(std::move(record));
    }
    return true;
}

// Encodes one record: the font string, or the image file at path.
Outcome encodeRecord(const Record& record, const ToolOptions& options, const std::string& path) {
    Outcome outcome;
    auto failed = [&](int status, const std::string& error) {
        outcome.status = status;
        outcome.error = error;
        return outcome;
    };
    if (!record.error.empty()) return failed(record.errorStatus, record.error);
    const SymbolSettings& settings = options.symbol;
    std::string input = record.data;
    if (settings.hibc) {
        const std::string problem = hibcProblem(record.data);
        if (!problem.empty()) return failed(kExitData, problem);
    } else {
        PreparedData prepared = prepareData(record.data, options.data, settings.micro);
        if (!prepared.notes.empty()) outcome.note = prepared.notes[0];
        input = std::move(prepared.input);
    }
    QRCODE_RESULT handle = nullptr;
    const std::int32_t result = encodeSymbol(input, settings, &handle);
    if (result != 0) {
        outcome.csvError = QRCodeGetErrorMessage(result);
        return failed(kExitData, encodeFailureMessage(result, input, settings, false));
    }
    const std::string lowered = lowerLevelNote(handle, settings);
    if (!lowered.empty()) outcome.note = lowered.substr(std::strlen("note: "));
    if (path.empty()) {
        const char* text = QRCodeResultGetBarcodeString2(handle, options.separator.c_str());
        if (text != nullptr) {
            outcome.font = text;
        } else {
            outcome.status = kExitIo;
            outcome.error = "out of memory";
        }
    } else {
        ImageRequest image = options.image;
        image.path = path;
        const int status = writeImage(handle, image, &outcome.error);
        // A size beyond the limits is this record's data (a larger symbol), not a bad option.
        if (status != 0) outcome.status = status == kExitUsage ? kExitData : status;
    }
    DestroyQRCodeEncodeResult(handle);
    return outcome;
}

class ProgressBar {
  public:
    // Drawn only on a terminal, and not over CSV rows going to the same terminal.
    ProgressBar(std::size_t total, bool rowsOnStdout, bool quiet)
        : total_(total),
          shown_(!quiet && isatty(STDERR_FILENO) != 0 && !(rowsOnStdout && isatty(STDOUT_FILENO) != 0)) {}

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

int checkBatchOptions(BatchRequest* request) {
    const ToolOptions& options = request->options;
    if (options.operands.size() != 1)
        return usageFailure(options.operands.empty() ? "batch takes an input file ('-' for standard input)"
                                                     : "batch takes one input file",
                            kBatch);
    if (int status = checkSymbolAndDataOptions(options)) return status;
    const std::string& pattern = options.image.path;
    if (pattern.empty()) return 0;
    if (!options.csvPath.empty()) return usageFailure("-o and --csv do not go together", kBatch);
    if (pattern == "-")
        return usageFailure("batch writes one image file a record: -o takes a file name pattern", kBatch);
    request->pattern = parsePattern(pattern);
    if (!hasPlaceholder(request->pattern))
        return usageFailure("-o needs {n}, {line}, {field} or a {COLUMN} in the file name, one file a record",
                            kBatch);
    for (const PatternPiece& piece : request->pattern) {
        if (piece.kind != PatternPiece::kColumn) continue;
        request->patternUsesColumns = true;
        if (options.column.empty())
            return usageFailure(
                "-o names the column {" + piece.text + "}: give --column to read the file as CSV", kBatch);
    }
    if (!knownImageFormat(imageFormat(options.image)))
        return usageFailure(
            "cannot tell the image format of " + pattern + "; use --format " + kImageFormatNames, kBatch);
    return 0;
}

// Where the CSV rows go: standard output or a file replaced once the batch has written all of it.
class CsvOutput {
  public:
    explicit CsvOutput(const std::string& path) : path_(path) {}
    bool open(std::string* error) {
        if (path_.empty()) return true;
        if (!makeFoldersFor(path_, error)) return false;
        file_ = std::make_unique<ReplacingFile>(path_);
        return file_->open(error);
    }
    // Writes rows; after a failure nothing more is written and error() tells why.
    void write(const std::string& rows) {
        if (!error_.empty() || rows.empty()) return;
        if (!file_) {
            writeStandardOutput(rows, &error_);
            return;
        }
        file_->stream()->Write(rows.data(), static_cast<kp::ULONG>(rows.size()), nullptr);
        if (file_->stream()->failure() != 0)
            error_ = "cannot write " + path_ + ": " + std::strerror(file_->stream()->failure());
    }
    bool finish() {
        if (error_.empty() && file_) file_->commit(&error_);
        return error_.empty();
    }
    const std::string& error() const { return error_; }

  private:
    std::string path_;
    std::unique_ptr<ReplacingFile> file_;
    std::string error_;
};

}  // namespace

int runBatch(int argc, char** argv) {
    BatchRequest request;
    ToolOptions& options = request.options;
    if (int status = parseOptions(kBatch, argc, argv, &options)) return status;
    std::string error;
    if (options.help)
        return writeStandardOutput(helpText(kBatch), &error) ? kExitOk : failure(kExitIo, error);
    if (int status = checkBatchOptions(&request)) return status;
    const auto started = std::chrono::steady_clock::now();

    std::string text;
    InputFailure problem;
    if (!readInput(options.operands[0], kBatchInputLimit, &text, &problem))
        return failure(problem.status, problem.message);
    std::vector<Record> records;
    if (options.column.empty()) {
        records = lineRecords(text);
    } else if (!columnRecords(text, &request, &records, &error)) {
        return failure(kExitData, error);
    }
    text.clear();
    text.shrink_to_fit();

    // File names, decided before any thread starts; a name that repeats fails the later records.
    const bool images = !options.image.path.empty();
    std::vector<std::string> paths(images ? records.size() : 0);
    if (images) {
        NameValues values;
        values.numberWidth = decimalWidth(records.size());
        values.lineWidth = decimalWidth(records.empty() ? 1 : static_cast<std::size_t>(records.back().line));
        std::map<std::string, int> firstLine;
        std::map<std::string, std::string> folderErrors;
        for (std::size_t k = 0; k < records.size(); ++k) {
            Record& record = records[k];
            values.number = k + 1;
            values.line = record.line;
            values.field = record.data;
            values.columns = &record.fields;
            std::string nameError;
            if (!expandPattern(request.pattern, values, &paths[k], &nameError)) {
                if (record.error.empty()) record.error = nameError;
                paths[k].clear();
                continue;
            }
            auto inserted = firstLine.emplace(paths[k], record.line);
            if (!inserted.second && record.error.empty())
                record.error = "the file name " + paths[k] + " repeats that of line " +
                               std::to_string(inserted.first->second);
            // The folders the names need are made first, once each.
            const std::string folder = std::filesystem::path(paths[k]).parent_path().string();
            auto made = folderErrors.find(folder);
            if (made == folderErrors.end()) {
                std::string folderError;
                makeFoldersFor(paths[k], &folderError);
                made = folderErrors.emplace(folder, folderError).first;
            }
            if (!made->second.empty() && record.error.empty()) {
                record.error = made->second;
                record.errorStatus = kExitIo;
            }
        }
    }

    CsvOutput csv(images ? std::string() : options.csvPath);
    if (!images && !csv.open(&error)) return failure(kExitIo, error);

    const std::size_t count = records.size();
    const std::size_t chunks = (count + kChunk - 1) / kChunk;
    // The outcomes and the CSV rows of each chunk, made by the worker that encoded it.
    std::vector<std::vector<Outcome>> chunkOutcomes(chunks);
    std::vector<std::string> chunkRows(images ? 0 : chunks);
    std::vector<char> chunkDone(chunks, 0);
    std::mutex mutex;
    std::condition_variable doneSignal;
    std::atomic<std::size_t> nextChunk{0};
    std::atomic<std::size_t> recordsDone{0};

    auto work = [&] {
        for (;;) {
            const std::size_t chunk = nextChunk.fetch_add(1);
            if (chunk >= chunks) return;
            const std::size_t first = chunk * kChunk;
            const std::size_t end = std::min(count, first + kChunk);
            std::vector<Outcome>& outcomes = chunkOutcomes[chunk];
            outcomes.resize(end - first);
            for (std::size_t k = first; k < end; ++k) {
                outcomes[k - first] = encodeRecord(records[k], options, images ? paths[k] : std::string());
                recordsDone.fetch_add(1, std::memory_order_relaxed);
            }
            if (!images) {
                std::string& rows = chunkRows[chunk];
                for (std::size_t k = first; k < end; ++k) {
                    Outcome& outcome = outcomes[k - first];
                    rows += std::to_string(records[k].line);
                    rows += ',';
                    appendCsvField(rows, records[k].data);
                    rows += ',';
                    appendCsvField(rows, outcome.font);
                    rows += ',';
                    appendCsvField(rows, outcome.csvError.empty() ? outcome.error : outcome.csvError);
                    rows += '\n';
                    outcome.font = std::string();
                }
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                chunkDone[chunk] = 1;
            }
            doneSignal.notify_all();
        }
    };
    unsigned threadCount = options.threads > 0 ? static_cast<unsigned>(options.threads)
                                               : std::max(1u, std::thread::hardware_concurrency());
    threadCount = static_cast<unsigned>(std::min<std::size_t>(threadCount, std::max<std::size_t>(chunks, 1)));
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threadCount; ++t)
        workers.emplace_back(work);

    // The CSV rows in record order, chunk by chunk as the chunks are done.
    ProgressBar progress(count, !images && options.csvPath.empty(), options.quiet);
    std::string rows = images ? std::string() : std::string("line,data,font,error\n");
    std::size_t failed = 0;
    std::size_t noted = 0;
    int worst = 0;
    std::vector<std::string> failures;
    std::vector<std::string> notes;
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
            const Outcome& outcome = chunkOutcomes[chunk][k - chunk * kChunk];
            auto line = [&] { return "line " + std::to_string(records[k].line) + ": "; };
            if (!outcome.error.empty()) {
                ++failed;
                worst = std::max(worst, outcome.status);
                if (failures.size() < kFailuresListed) failures.push_back(line() + outcome.error);
            }
            if (!outcome.note.empty() && ++noted <= kFailuresListed)
                notes.push_back(line() + "note: " + outcome.note);
        }
        chunkOutcomes[chunk] = std::vector<Outcome>();
        if (!images) {
            csv.write(rows);  // the header, before the first chunk
            rows.clear();
            csv.write(chunkRows[chunk]);
            chunkRows[chunk] = std::string();
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    progress.update(count);
    progress.finish();
    csv.write(rows);
    const bool written = csv.finish();

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!options.quiet) {
        char timing[96];
        std::snprintf(timing, sizeof timing, "%.2f s, %.0f records a second", seconds,
                      seconds > 0 ? static_cast<double>(count) / seconds : 0.0);
        std::cerr << "qrkit: " << count << (count == 1 ? " record, " : " records, ") << failed << " failed, "
                  << timing << " on " << threadCount << (threadCount == 1 ? " thread\n" : " threads\n");
        for (const std::string& text : notes)
            std::cerr << "  " << text << "\n";
        if (noted > notes.size()) std::cerr << "  ... and " << noted - notes.size() << " more notes\n";
    }
    for (const std::string& text : failures)
        std::cerr << "  " << text << "\n";
    if (failed > failures.size()) std::cerr << "  ... and " << failed - failures.size() << " more\n";
    if (!written) return failure(kExitIo, csv.error());
    return worst;
}

}  // namespace qrkit_cli
