#include "serial/com_port.h"

#include "ports/device_naming.h"
#include "ports/port_assignment.h"
#include "ports/port_description.h"
#include "protocol/int_conversion.h"
#include "serial/dispatcher.h"

namespace qev {

namespace {

void check(const std::error_code& result, const TSerialDispatcher& d) {
    if (result)
        raiseSerialError(result, d.devicePath(), d.failureReason());
}

}  // namespace

void TBaseComponent::setThreadErrorHandler(ThreadErrorHandler handler) {
    threadErrorHandler_ = std::move(handler);
}

TCustomComPort::TCustomComPort() = default;

TCustomComPort::~TCustomComPort() {
    closePort();
}

void TCustomComPort::setComNumber(quint16 n) {
    if (n == comNumber_)
        return;
    if (state_ != psOpen) {
        comNumber_ = n;
        return;
    }
    closePort();
    comNumber_ = n;
    openPort();
}

void TCustomComPort::setBaud(qint32 baud) {
    baud_ = baud;
    if (state_ == psOpen)
        check(dispatcher_->SetLine(baud_, quint16(Parity()), DataBits(), StopBits()), *dispatcher_);
}

void TCustomComPort::setOpen(bool open) {
    if (open)
        openPort();
    else
        closePort();
}

void TCustomComPort::EnsurePortNumber() {
    if (comNumber_ != 0)
        return;
    if (!promptForPort_)
        throw ENoPortSelected();
    if (!prompt_)
        throw EPortPromptCancelled();
    // Listing the ports is when adapters plugged in meanwhile get their numbers; the lock is not
    // waited for (another program numbering them finishes by itself).
    const PortAssignment assignment = assignPortNumbers({}, 0);
    if (!assignment.problem.isEmpty() && !assignment.busy && noticeHandler_)
        noticeHandler_(assignment.problem);
    const QStringList names = presentPortNames();
    // With nothing to choose from, the user is told where a port comes from rather than asked.
    if (names.isEmpty())
        throw ENoPortFound(portLinkFolder());
    QStringList descriptions;
    for (const QString& name : names)
        descriptions << portTipText(describePort(SelectedComNum(name)));
    QString text;
    if (prompt_->execDescribed(names, descriptions, text) != PortPrompt::Ok)
        throw EPortPromptCancelled();
    // Nothing selected means the list was empty: tell the user where a port comes from rather
    // than that an empty text is no number.
    if (text.isEmpty())
        throw ENoPortFound(portLinkFolder());
    // Closed here, so this only stores the number.
    setComNumber(SelectedComNum(text));
}

void TCustomComPort::openPort() {
    if (state_ != psClosed)
        return;
    try {
        EnsurePortNumber();
        dispatcher_ = std::make_unique<TSerialDispatcher>();
        dispatcher_->setThreadErrorHandler(threadErrorHandler());
        dispatcher_->setPortName(QStringLiteral("COM%1").arg(comNumber_));
        dispatcher_->setOpenCancelled(openCancelled_);
        quint32 flow = 0;
        if (DTR())
            flow |= kFlowDtrOn;
        if (RTS())
            flow |= kFlowRtsOn;
        if (HWFlowOptions() & hwfUseDTR)
            flow |= kFlowUseDtr;
        if (HWFlowOptions() & hwfUseRTS)
            flow |= kFlowUseRts;
        const std::error_code result =
            dispatcher_->InitPort(portPath(comNumber_), baud_, quint16(Parity()), DataBits(),
                                  StopBits(), InSize(), OutSize(), flow);
        lastDevicePath_ = dispatcher_->devicePath();
        lastDeliveryKnown_ = dispatcher_->deliveryKnown();
        check(result, *dispatcher_);
        state_ = psOpen;
        writeSettings();
    } catch (...) {
        state_ = psClosed;
        dispatcher_.reset();
        throw;
    }
}

void TCustomComPort::writeSettings() {
    TSerialDispatcher& d = *dispatcher_;
    const bool cts = (HWFlowOptions() & (hwfRequireCTS | hwfUseRTS)) != 0;
    check(d.SetHWFlowOptions(cts, (HWFlowOptions() & hwfRequireDSR) != 0, BufferFull(),
                             BufferResume()),
          d);
    check(d.SetSWFlowOptions(SWFlowOptions() == swfTransmit || SWFlowOptions() == swfBoth,
                             SWFlowOptions() == swfReceive || SWFlowOptions() == swfBoth),
          d);
    check(d.SetXOnChar(XOnChar()), d);
    check(d.SetXOffChar(XOffChar()), d);
    check(d.SetDTR(DTR()), d);
    check(d.SetRTS(RTS()), d);
}

void TCustomComPort::closePort() {
    if (state_ != psOpen)
        return;
    state_ = psShuttingDown;
    dispatcher_->DonePort();
    timedSentBefore_ += dispatcher_->releasedBlocks();
    dispatcher_.reset();
    state_ = psClosed;
}

bool TCustomComPort::autoOpened() {
    if (state_ == psClosed && autoOpen_)
        openPort();
    return state_ == psOpen;
}

void TCustomComPort::PutString(const QByteArray& bytes) {
    if (state_ == psShuttingDown)
        return;
    if (!autoOpened() || !dispatcher_)
        throw ECommNotOpen();
    check(dispatcher_->PutBlock(bytes.constData(), quint32(bytes.size())), *dispatcher_);
}

void TCustomComPort::PutStringAt(const QByteArray& bytes, qint64 releaseAtNs) {
    if (state_ == psShuttingDown)
        return;
    if (!autoOpened() || !dispatcher_)
        throw ECommNotOpen();
    check(dispatcher_->PutBlockAt(bytes.constData(), quint32(bytes.size()), releaseAtNs),
          *dispatcher_);
}

quint32 TCustomComPort::TimedSent() const {
    return timedSentBefore_ + (dispatcher_ ? dispatcher_->releasedBlocks() : 0);
}

quint16 TCustomComPort::OutBuffUsed() {
    if (state_ == psShuttingDown || !autoOpened())
        return 0;
    return dispatcher_->OutBuffUsed();
}

qint64 TCustomComPort::UnsentBytes() {
    return state_ == psOpen ? dispatcher_->UnsentBytes() : 0;
}

bool TCustomComPort::CanWrite() const {
    return state_ == psOpen && dispatcher_->writerRunning();
}

QString TCustomComPort::DevicePath() const {
    return lastDevicePath_;
}

void setUpClockPort(TCustomComPort& port) {
    port.setBaud(kClockBaud);
    port.setAutoOpen(false);
}

bool PortPresent(quint16 n) {
    return portPresent(n);
}

QStringList presentPortNames() {
    QStringList names;
    for (quint16 n = 1; n <= kMaxPortNumber; ++n) {
        if (PortPresent(n))
            names << QStringLiteral("COM%1").arg(n);
    }
    return names;
}

quint16 SelectedComNum(const QString& itemText) {
    return quint16(StrToInt(itemText.mid(3, 255)));
}

}  // namespace qev
