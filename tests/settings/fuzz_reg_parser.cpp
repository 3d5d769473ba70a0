// Any bytes as a settings file: parsing must neither crash nor hang, and what a readable file
// turns into must write out and read back to exactly the same.

#include "settings/reg_document.h"
#include "settings/reg_parser.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qev::RegParseResult first = qev::parseRegFile(bytes);
    if (!first.readable) {
        return 0;
    }
    const QByteArray written = first.document.serialize();
    const qev::RegParseResult second = qev::parseRegFile(written);
    if (!second.readable || !second.issues.isEmpty() || second.document.serialize() != written) {
        std::abort();
    }
    return 0;
}
