// Feeds arbitrary text to the integer conversion and the zone-line readers: every input either
// parses or raises the conversion error, and a decimal text that parses has the value the
// standard library reads.

#include "base/exception.h"
#include "protocol/int_conversion.h"
#include "protocol/messages.h"
#include "protocol/zone_line.h"

#include <charconv>
#include <cstdlib>
#include <string>

using namespace qev;

namespace {

void checkDecimal(const std::string& text, qint32 value) {
    size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos || text.find_first_of("$xX", i) != std::string::npos) {
        return;
    }
    if (text[i] == '+') {
        ++i;
    }
    long long expected = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), expected);
    if (ec != std::errc() || end != text.data() + text.size() || expected != value) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const QString text = QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    try {
        checkDecimal(bytes, StrToInt(text));
    } catch (const EConvertError&) {
    }
    try {
        readForEditing(text);
    } catch (const EConvertError&) {
    }
    try {
        QStringList lines = defaultZoneLines();
        lines[size % 16] = text;
        if (buildZoneConfigMessage(lines).size() != kZoneConfigMessageSize) {
            std::abort();
        }
    } catch (const EConvertError&) {
    } catch (const EZoneValueError&) {
    }
    return 0;
}
