#include "base/exception.h"

namespace qev {

Exception::Exception(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

}  // namespace qev
