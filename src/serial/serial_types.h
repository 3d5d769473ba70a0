#pragma once
// Value types shared by the port component and its worker.

#include <QtGlobal>

namespace qev {

// Numbered like the platform parity codes.
enum TParity { pNone = 0, pOdd = 1, pEven = 2, pMark = 3, pSpace = 4 };

enum THWFlowOption : quint8 {
    hwfUseDTR = 1 << 0,
    hwfUseRTS = 1 << 1,
    hwfRequireDSR = 1 << 2,
    hwfRequireCTS = 1 << 3,
};
using THWFlowOptions = quint8;  // an OR of THWFlowOption

enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };

enum TPortState { psClosed, psShuttingDown, psOpen };

// Bits of InitPort's flow argument.
enum FlowOptBits : quint32 {
    kFlowDtrOn = 1u << 0,
    kFlowRtsOn = 1u << 1,
    kFlowUseDtr = 1u << 4,
    kFlowUseRts = 1u << 5,
};

}  // namespace qev
