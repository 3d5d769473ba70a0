#pragma once
// The error a masked field raises when it is left with a required position empty.

#include "base/exception.h"

namespace qev {

class EDBEditError : public Exception {
public:
    EDBEditError()
        : Exception(QStringLiteral("Invalid input value.  Use escape key to abandon changes")) {}
    using Exception::Exception;
};

}  // namespace qev
