#include "link/Commands.h"

#include <cstdio>

namespace ombrix {
namespace {

enum class Reply { None, Answer, BlockRead, BlockWrite };

constexpr int kNoWait = -1;

struct Exchange {
    uint8_t address = 0;
    uint8_t command = 0;
    uint8_t p[4] = {0, 0, 0, 0};
    int settle = kNoWait;
    int after = kNoWait;
    Reply reply = Reply::None;
    bool fromBackground = false;
    bool holdAfter = false;  // a repeating key keeps the background off the line
    bool changes = false;    // changes something on the projector: a late ACK must not outlive it
    uint8_t* readBuffer = nullptr;
    const uint8_t* writeData = nullptr;
    size_t length = 0;
    // Outputs.
    RequestFrame frame;
    int sendResult = kNoAck;
};

// The steps every command takes, in order: take the line, send, settle, read, listen on
// for a late acknowledgement of a change, give the line back, then the closing wait.
int Run(Link& link, Exchange& x) {
    if (x.fromBackground) {
        if (!link.lock.AcquireBackground(&link.backgroundStop)) return kNoAck;
    } else {
        link.lock.AcquireForeground();
    }
    if (x.changes) AwaitLateReplies(link);
    const uint64_t start = link.clock.TickMs();
    x.frame = BuildRequest(x.address, x.command, x.p[0], x.p[1], x.p[2], x.p[3]);
    int r = SendFrame(link, x.frame);
    x.sendResult = r;
    if (x.settle != kNoWait) {
        link.clock.WaitMs(static_cast<uint32_t>(x.settle));
        if (r == kDone) {
            switch (x.reply) {
                case Reply::Answer: r = ReadAnswer(link, x.frame); break;
                case Reply::BlockRead:
                    r = ReadAnswer(link, x.frame);
                    if (r == kDone) r = ReadDataRun(link, x.readBuffer, x.length);
                    break;
                case Reply::BlockWrite: r = SendDataRun(link, x.writeData, x.length, x.frame.b[0]); break;
                case Reply::None: break;
            }
        }
    }
    if (r == kNoAck && x.changes) {
        ListenForLateReply(link, start);
    } else if (x.sendResult == kNoAck && link.strayReply.load() < 0 && !link.unquiet.load() && !LineLost(link)) {
        // A question's late reply ends with its answer, which only its own question takes.
        link.lateReplyUntil = start + kReplyTimeoutMs + kLateAckListenMs;
    }
    if (x.fromBackground) {
        link.lock.ReleaseBackground();
    } else {
        link.lock.ReleaseForeground(x.holdAfter);
    }
    if (link.exchangeObserver) link.exchangeObserver(r, link.clock.TickMs() - start);
    if (x.after != kNoWait) link.clock.WaitMs(static_cast<uint32_t>(x.after));
    return r;
}

Exchange Make(uint8_t address, uint8_t command, int settle, int after, Reply reply) {
    Exchange x;
    x.address = address;
    x.command = command;
    x.settle = settle;
    x.after = after;
    x.reply = reply;
    x.changes = reply == Reply::None || reply == Reply::BlockWrite;
    return x;
}

void AnswerData(const Exchange& x, uint8_t d[4]) {
    for (int i = 0; i < 4; ++i) d[i] = x.frame.b[static_cast<size_t>(3 + i)];
}

}  // namespace

void DecodeStatus(const uint8_t d[4], StatusFlags* f, uint32_t* optionsValid) {
    const uint8_t d1 = d[0], d3 = d[2], d4 = d[3];
    const bool valid = (d3 & 0x80) != 0;
    auto bit = [](uint8_t v, int n) { return static_cast<uint8_t>((v >> n) & 1); };
    auto opt = [&](uint8_t v, int n) { return valid ? bit(v, n) : static_cast<uint8_t>(0); };
    f->greenConvergence = bit(d1, 6);
    f->standby = bit(d3, 0);
    f->pause = bit(d3, 1);
    f->operating = (d3 & 0x03) == 0 ? 1 : 0;
    f->textOn = bit(d3, 2);
    f->pcMode = bit(d3, 3);
    f->soundAvailable = bit(d3, 4);
    f->convergenceStripped = opt(d3, 5);
    f->magneticFocus = opt(d3, 6);
    f->orbit = opt(d4, 0);
    f->softEdge = opt(d4, 1);
    f->contrastModulation = opt(d4, 2);
    f->nsOnConvergence = opt(d4, 3);
    f->asic = opt(d4, 4);
    f->iris = opt(d4, 5);
    f->extraBlock1 = opt(d4, 6);
    f->extraBlock2 = opt(d4, 7);
    if (optionsValid) *optionsValid = valid ? 1 : 0;
}

std::string DecodeSerialNumber(const uint8_t d[4]) {
    if ((d[0] & 0xF0) != 0xF0) return "???????";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%1x%02x%02x%02x", d[0] & 0x0F, d[1], d[2], d[3]);
    return buf;
}

std::string DecodeRuntime(const uint8_t d[4]) { return std::to_string(d[0] * 256 + d[1]) + "h"; }

std::string DecodeIdNumber(const uint8_t d[4]) {
    const uint32_t v = static_cast<uint32_t>(d[0]) | (static_cast<uint32_t>(d[1]) << 8) |
                       (static_cast<uint32_t>(d[2]) << 16) | (static_cast<uint32_t>(d[3]) << 24);
    return std::to_string(static_cast<int32_t>(v));
}

std::string FormatVersion(uint8_t major, uint8_t minor) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%2x.%02x", major, minor);
    return buf;
}

int ForceBlock(Link& link, uint8_t address, uint8_t a, uint8_t b) {
    Exchange x = Make(address, kCmdForceBlock, kNoWait, 200, Reply::None);
    x.p[0] = a;
    x.p[1] = b;
    return Run(link, x);
}

int KeyCommand(Link& link, uint8_t address, uint8_t key) {
    Exchange x = Make(address, key, kNoWait, kNoWait, Reply::None);
    x.holdAfter = link.repeatActive.load();
    return Run(link, x);
}

int ReadIdentity(Link& link, uint8_t address, std::string* letter, std::string* version, uint32_t* typeCode,
                 bool fromBackground) {
    Exchange x = Make(address, kCmdReadIdentity, 300, kNoWait, Reply::Answer);
    x.fromBackground = fromBackground;
    const int r = Run(link, x);
    if (r == kDone) {
        uint8_t d[4];
        AnswerData(x, d);
        if (letter) *letter = std::string(1, static_cast<char>(d[0]));
        if (version) *version = FormatVersion(d[1], d[2]);
        if (typeCode) *typeCode = d[3];
    }
    return r;
}

int ReadLocation(Link& link, uint8_t address, uint8_t out[4]) {
    Exchange x = Make(address, kCmdReadLocation, 300, 100, Reply::Answer);
    const int r = Run(link, x);
    if (r == kDone) AnswerData(x, out);
    return r;
}

int FreeBlock(Link& link, uint8_t address, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    Exchange x = Make(address, kCmdFreeBlock, kNoWait, 300, Reply::None);
    x.p[0] = a;
    x.p[1] = b;
    x.p[2] = c;
    x.p[3] = d;
    return Run(link, x);
}

int ReadRuntime(Link& link, uint8_t address, std::string* text, bool fromBackground) {
    Exchange x = Make(address, kCmdReadRuntime, 150, 150, Reply::Answer);
    x.fromBackground = fromBackground;
    const int r = Run(link, x);
    if (r == kDone) {
        uint8_t d[4];
        AnswerData(x, d);
        *text = DecodeRuntime(d);
    }
    return r;
}

int ReadSerialNumber(Link& link, uint8_t address, std::string* text, bool fromBackground) {
    Exchange x = Make(address, kCmdReadSerialNumber, 300, 100, Reply::Answer);
    x.fromBackground = fromBackground;
    const int r = Run(link, x);
    if (r == kDone) {
        uint8_t d[4];
        AnswerData(x, d);
        *text = DecodeSerialNumber(d);
    }
    return r;
}

int ReadIdNumber(Link& link, uint8_t address, std::string* text, bool fromBackground) {
    Exchange x = Make(address, kCmdReadIdNumber, 150, 100, Reply::Answer);
    x.fromBackground = fromBackground;
    const int r = Run(link, x);
    if (r == kDone) {
        uint8_t d[4];
        AnswerData(x, d);
        *text = DecodeIdNumber(d);
    }
    return r;
}

int ReadStatus(Link& link, uint8_t address, StatusFlags* flags, uint32_t* optionsValid, bool fromBackground) {
    flags->extraBlock1 = 0;
    flags->extraBlock2 = 0;
    Exchange x = Make(address, kCmdReadStatus, 400, 300, Reply::Answer);
    x.fromBackground = fromBackground;
    const int r = Run(link, x);
    if (r == kDone) {
        uint8_t d[4];
        AnswerData(x, d);
        DecodeStatus(d, flags, optionsValid);
    }
    return r;
}

int WriteBlockData(Link& link, uint8_t address, const uint8_t* data, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4,
                   size_t n) {
    Exchange x = Make(address, kCmdWriteBlockData, 300, 100, Reply::BlockWrite);
    x.p[0] = p1;
    x.p[1] = p2;
    x.p[2] = p3;
    x.p[3] = p4;
    x.writeData = data;
    x.length = n;
    return Run(link, x);
}

int ReadBlockData(Link& link, uint8_t address, uint8_t* buffer, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4,
                  size_t n) {
    Exchange x = Make(address, kCmdReadBlockData, 300, 100, Reply::BlockRead);
    x.p[0] = p1;
    x.p[1] = p2;
    x.p[2] = p3;
    x.p[3] = p4;
    x.readBuffer = buffer;
    x.length = n;
    return Run(link, x);
}

int ReadParameter(Link& link, uint8_t address, uint8_t p1, uint8_t p2, uint32_t* value) {
    Exchange x = Make(address, kCmdReadParameter, 300, 200, Reply::Answer);
    x.p[0] = p1;
    x.p[1] = p2;
    const int r = Run(link, x);
    // Without an answer the frame still holds the request, whose byte 5 is 0.
    if (x.sendResult == kDone) *value = r == kDone ? x.frame.b[5] : 0;
    return r;
}

int WriteParameter(Link& link, uint8_t address, uint8_t p1, uint8_t p2, uint8_t p3) {
    Exchange x = Make(address, kCmdWriteParameter, kNoWait, 300, Reply::None);
    x.p[0] = p1;
    x.p[1] = p2;
    x.p[2] = p3;
    return Run(link, x);
}

int IrisCommand(Link& link, uint8_t address, uint8_t c) {
    Exchange x = Make(address, kCmdIris, kNoWait, 200, Reply::None);
    x.p[0] = c;
    return Run(link, x);
}

int ReadIrisState(Link& link, uint8_t address, uint8_t* out) {
    Exchange x = Make(address, kCmdReadStatus, 400, 300, Reply::Answer);
    const int r = Run(link, x);
    if (r == kDone) *out = x.frame.b[3];
    return r;
}

int IrisFunction(Link& link, uint8_t address, uint8_t a, uint8_t b) {
    Exchange x = Make(address, kCmdIrisFunction, kNoWait, 200, Reply::None);
    x.p[0] = a;
    x.p[3] = b;
    return Run(link, x);
}

}  // namespace ombrix
