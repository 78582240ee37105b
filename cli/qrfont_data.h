// The qrkit QR font as the build made it (font/make_font.py), compiled into the tool.
#ifndef QRKIT_CLI_QRFONT_DATA_H
#define QRKIT_CLI_QRFONT_DATA_H

namespace qrkit_cli {

// The WOFF2 file in base64, NUL-terminated; defined by the generated qrfont_data.cpp of the build.
extern const char kQrFontWoff2Base64[];

}  // namespace qrkit_cli

#endif
