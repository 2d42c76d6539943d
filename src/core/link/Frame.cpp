#include "link/Frame.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace ombrix {

uint8_t FrameChecksum(const RequestFrame& f) {
    unsigned sum = 0;
    for (int i = 1; i <= 6; ++i) sum += f.b[i];
    return static_cast<uint8_t>(sum);
}

uint8_t ChooseOffset(const RequestFrame& f) {
    bool seen[8] = {};
    for (int i = 1; i <= 6; ++i) {
        if (f.b[i] >= 1 && f.b[i] <= 7) seen[f.b[i]] = true;
    }
    int k = 1;
    while (seen[k]) ++k;  // six bytes cannot cover 1..7, so k stops at 7 at the latest
    // byte + (2 - k) is 2 only for byte == k, which does not occur.
    return static_cast<uint8_t>(2 - k);
}

RequestFrame BuildRequest(uint8_t address, uint8_t command, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4) {
    RequestFrame f;
    f.b[1] = address;
    f.b[2] = command;
    f.b[3] = p1;
    f.b[4] = p2;
    f.b[5] = p3;
    f.b[6] = p4;
    f.b[7] = FrameChecksum(f);
    f.b[0] = ChooseOffset(f);
    return f;
}

std::array<uint8_t, 9> WireBytes(const RequestFrame& f) {
    std::array<uint8_t, 9> w{};
    w[0] = kStartByte;
    w[1] = f.b[0];
    for (int i = 1; i <= 7; ++i) w[static_cast<size_t>(i) + 1] = static_cast<uint8_t>(f.b[i] + f.b[0]);
    return w;
}

uint8_t DataRunChecksum(const uint8_t* data, size_t n, uint8_t offset) {
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) sum += data[i];
    return static_cast<uint8_t>(static_cast<uint8_t>(sum) + offset);
}

int SendFrame(Link& link, const RequestFrame& frame) {
    // A late reply to an earlier request must not be taken for this one. A line that
    // keeps talking gives no acknowledgement that could be trusted.
    link.strayReply = -1;
    link.lateReply = -1;
    link.lateReplyMs = -1;
    if (!FlushInput(link)) return kNoAck;
    const auto wire = WireBytes(frame);
    PutBytes(link, wire.data(), wire.size());
    return AwaitAck(link);
}

int AwaitAck(Link& link) {
    if (!WaitForBytes(link, kReplyTimeoutMs, 1)) return kNoAck;
    const uint8_t reply = GetByte(link);
    if (reply == kAck) return kDone;
    if (reply == kNack) return kNacked;
    // Noise, a projector switched off mid-line, a device server's greeting: nothing tells
    // whether the request was heard, so it did not succeed. What follows the stray byte
    // belongs to no request of ours.
    link.strayReply = reply;
    FlushInput(link);
    return kNoAck;
}

bool AnswerMatches(const RequestFrame& request, const RequestFrame& answer) {
    return answer.b[1] == request.b[1] && answer.b[2] == request.b[2] && answer.b[7] == FrameChecksum(answer);
}

int ReadAnswer(Link& link, RequestFrame& frame) {
    if (!WaitForBytes(link, kReplyTimeoutMs, 7)) return kNoAnswer;
    RequestFrame answer = frame;
    for (size_t i = 1; i <= 7; ++i) answer.b[i] = GetByte(link);
    // A stray byte ahead of the answer shifts it, and a late answer to an earlier request
    // names another projector or command: neither may pass for this request's answer.
    if (!AnswerMatches(frame, answer)) return kNoAnswer;
    frame = answer;
    return kDone;
}

int SendDataRun(Link& link, const uint8_t* data, size_t n, uint8_t offset) {
    // A doubled acknowledgement of the request would otherwise pass for the data run's.
    if (!FlushInput(link)) return kNoAck;
    std::vector<uint8_t> run(n + 1);
    for (size_t i = 0; i < n; ++i) run[i] = static_cast<uint8_t>(data[i] + offset);
    run[n] = DataRunChecksum(data, n, offset);
    PutBytes(link, run.data(), run.size());
    return AwaitAck(link);
}

int ReadDataRun(Link& link, uint8_t* buffer, size_t n) {
    if (!WaitForBytes(link, kReplyTimeoutMs, static_cast<int>(n) + 1)) return kNoAnswer;
    std::vector<uint8_t> run(n);
    for (size_t i = 0; i < n; ++i) run[i] = GetByte(link);
    // The caller's buffer keeps its contents unless the run's own checksum holds.
    if (GetByte(link) != DataRunChecksum(run.data(), n, 0)) return kNoAnswer;
    std::copy(run.begin(), run.end(), buffer);
    return kDone;
}

void ListenForLateReply(Link& link, uint64_t requestAt) {
    if (!link.device || link.strayReply.load() >= 0 || link.unquiet.load() || LineLost(link)) return;
    if (!WaitForBytes(link, kLateAckListenMs, 1)) return;
    link.lateReply = GetByte(link);
    link.lateReplyMs = static_cast<int>(std::min<uint64_t>(link.clock.TickMs() - requestAt, INT32_MAX));
    ++link.discardedBytes;
    // An answer may follow it; it belongs to no request of ours.
    FlushInput(link);
}

void AwaitLateReplies(Link& link) {
    for (;;) {
        const uint64_t until = link.lateReplyUntil.load();
        const uint64_t now = link.clock.TickMs();
        if (!link.device || now >= until || LineLost(link)) return;
        // A line that never falls quiet holds no reply to wait for: the request fails on it.
        if (WaitForBytes(link, static_cast<uint32_t>(until - now), 1) && !FlushInput(link)) return;
    }
}

bool HandOverLateReplies(Link& link) {
    const uint64_t until = link.lateReplyUntil.load();
    const uint64_t now = link.clock.TickMs();
    if (!link.device || now >= until || LineLost(link)) return true;
    return link.device->HandOverQuiet(static_cast<uint32_t>(std::min<uint64_t>(until - now, kLateReplyMaxMs)));
}

const char* CommErrorText(int result) {
    switch (result) {
        case kNoAck: return "Projector doesn't send ACK !";
        case kNoAnswer: return "Projector does send ACK, but doesn't answer the question !";
        case kNacked: return "Projector sends NACK !";
        default: return nullptr;
    }
}

void ReportCommError(const Env& env, int result) {
    const char* text = CommErrorText(result);
    if (text && env.ui) env.ui->ShowBox("Error in communication", text, BoxIcon::Stop);
}

const char kMayHaveAppliedText[] =
    "No acknowledgement came in time: the projector may have applied it; read the value before retrying.";

std::string StrayReplyText(const Link& link) {
    const int b = link.strayReply.load();
    if (b < 0) return {};
    char text[80];
    std::snprintf(text, sizeof text, "The projector answered 0x%02X, not an acknowledgement (0x%02X).", b, kAck);
    return text;
}

std::string LateReplyText(const Link& link) {
    const int b = link.lateReply.load();
    if (b < 0) return {};
    const std::string when = std::to_string(link.lateReplyMs.load()) + " ms after the request, past its " +
                             std::to_string(kReplyTimeoutMs) + " ms time-out";
    if (b == kAck) return "An acknowledgement came " + when + ": the projector has applied it.";
    if (b == kNack) return "A refusal (NACK) came " + when + ".";
    char text[48];
    std::snprintf(text, sizeof text, "The byte 0x%02X came ", b);
    return text + when + ".";
}

std::string LineTroubleText(const Link& link) {
    if (link.device && link.device->LineDropped()) return LineLostText(link);
    if (link.unquiet.load()) return LineUnquietText(link);
    return {};
}

void ReportCommError(const Env& env, Link& link, int result) {
    const char* text = CommErrorText(result);
    if (!text || !env.ui) return;
    if (LineLost(link)) {
        if (!link.lossTold.exchange(true)) env.ui->ShowBox("Projector RS232", LineLostText(link), BoxIcon::Exclamation);
        return;
    }
    if (result == kNoAck && link.unquiet.load()) {
        if (!link.unquietTold.exchange(true)) {
            env.ui->ShowBox("Projector RS232", LineUnquietText(link), BoxIcon::Exclamation);
        }
        return;
    }
    std::string detail;
    if (result == kNoAck) detail = StrayReplyText(link) + LateReplyText(link);
    env.ui->ShowBoxDetail("Error in communication", text, BoxIcon::Stop, detail);
}

}  // namespace ombrix
