// The segmentation measurement: for every record of a corpus and every level, the version and the
// segment bits that the greedy and the optimal segmentation settle on (QR Code, and Micro QR Code where
// the record fits one), and the time each took.
//
// Input (standard input): one record a line, "category<TAB>bytes in hexadecimal"; the bytes are data,
// written into the input language here ('~' doubled). Output (standard output): a header and one line a
// record and level, tab-separated: category, level, greedy version, greedy bits, optimal version,
// optimal bits, Micro greedy version, Micro optimal version (0: no symbol). The times go to standard
// error.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "encoder/micro_input.h"
#include "encoder/qrinput.h"

namespace {

namespace qe = kelvane2::qrencode;

struct Settled {
    int version = 0;  // 0: no symbol holds the data
    int bits = 0;
};

Settled settle(qe::QRInput& input, const std::string& data) {
    Settled settled;
    if (input.parse(reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<int>(data.size())) != 0)
        return settled;
    qe::BitString stream;
    if (!input.dataBitString(stream)) return settled;
    settled.version = input.version;
    for (const qe::InputSegment& segment : input.segments)
        settled.bits += segment.bits.length();
    return settled;
}

Settled settleQr(const std::string& data, int level, bool optimal) {
    qe::QRInput input(0, 0, level);
    input.optimalSegmentation = optimal;
    return settle(input, data);
}

Settled settleMicro(const std::string& data, int level, bool optimal) {
    qe::MQRInput input(0, level);
    input.optimalSegmentation = optimal;
    Settled settled;
    if (input.parse(reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<int>(data.size())) != 0)
        return settled;
    qe::BitString stream;
    if (input.dataBitString(stream)) settled.version = input.version;
    return settled;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The bytes of a hexadecimal text as data of the input language.
bool inputLanguage(const std::string& hex, std::string* data) {
    data->clear();
    if (hex.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        const char byte = static_cast<char>(high * 16 + low);
        if (byte == '\0') return false;
        *data += byte;
        if (byte == '~') *data += '~';
    }
    return true;
}

}  // namespace

int main() {
    struct Record {
        std::string category;
        std::string data;
    };
    std::vector<Record> records;
    std::string line;
    while (std::getline(std::cin, line)) {
        const std::size_t tab = line.find('\t');
        Record record;
        if (tab == std::string::npos || !inputLanguage(line.substr(tab + 1), &record.data)) {
            std::cerr << "measure: bad line: " << line << "\n";
            return 2;
        }
        record.category = line.substr(0, tab);
        records.push_back(record);
    }

    std::cout << "category\tlevel\tgreedy_version\tgreedy_bits\toptimal_version\toptimal_bits\t"
                 "micro_greedy_version\tmicro_optimal_version\n";
    double seconds[2] = {0, 0};
    for (const Record& record : records) {
        for (int level = 0; level < 4; ++level) {
            Settled settled[2];
            for (int way = 0; way < 2; ++way) {
                const auto start = std::chrono::steady_clock::now();
                settled[way] = settleQr(record.data, level, way == 1);
                seconds[way] +=
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            }
            const int microGreedy = settleMicro(record.data, level, false).version;
            const int microOptimal = settleMicro(record.data, level, true).version;
            std::cout << record.category << '\t' << "LMQH"[level] << '\t' << settled[0].version << '\t'
                      << settled[0].bits << '\t' << settled[1].version << '\t' << settled[1].bits << '\t'
                      << microGreedy << '\t' << microOptimal << '\n';
        }
    }
    std::fprintf(
        stderr,
        "segmentation and version choice of %zu records at 4 levels: greedy %.1f ms, optimal %.1f ms\n",
        records.size(), 1000 * seconds[0], 1000 * seconds[1]);
    return 0;
}
