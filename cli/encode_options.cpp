#include "cli/encode_options.h"

#include "encoder/hibc.h"

namespace qrkit_cli {

std::string checkSymbolSettings(const SymbolSettings& settings) {
    if (settings.micro && settings.hibc) return "--micro and --hibc do not go together";
    if (settings.micro && (settings.strict || settings.forcedMode != 0))
        return "--strict and --mode are for QR Code symbols, not --micro";
    if (settings.micro && settings.minVersion > 4) return "Micro QR Code versions are 1 to 4";
    if (settings.strict && settings.minVersion == 0)
        return "--strict needs --min-version: the version to fit";
    return "";
}

std::int32_t encodeSymbol(const std::string& input, const SymbolSettings& settings, QRCODE_RESULT* out) {
    if (settings.optimal) {
        if (settings.micro)
            return MicroQRCodeEncodeOptimal(input.c_str(), settings.minVersion, settings.level, out);
        if (settings.hibc) {
            namespace qe = kelvane2::qrencode;
            return qe::encodeHibc(input.c_str(),
                                  qe::EncodeOptions{settings.versionWord(), settings.level, -1}, out,
                                  qe::Segmentation::kOptimal);
        }
        return QRCodeEncodeOptimal(input.c_str(), settings.versionWord(), settings.level, out);
    }
    if (settings.micro) return MicroQRCodeEncode(input.c_str(), settings.minVersion, settings.level, out);
    if (settings.hibc) return HIBC_QRCodeEncode(input.c_str(), settings.versionWord(), settings.level, out);
    return QRCodeEncode(input.c_str(), settings.versionWord(), settings.level, out);
}

}  // namespace qrkit_cli
