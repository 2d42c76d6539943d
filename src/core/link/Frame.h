#pragma once
// The request frame on the wire: start byte, offset byte, seven offset bytes; the
// single-byte acknowledgement; the seven-byte answer; block data runs.
#include <array>
#include <cstdint>
#include <cstddef>
#include <string>

#include "link/Link.h"
#include "platform/Env.h"

namespace ombrix {

constexpr uint8_t kStartByte = 0x02;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNack = 0x15;
constexpr uint32_t kReplyTimeoutMs = 2000;
// How long past its time-out a command that changes something still listens for its
// acknowledgement, so that one a slow converter delivers late is heard by its own
// command and never taken by the next.
constexpr uint32_t kLateAckListenMs = 2 * kReplyTimeoutMs;

// Command results.
constexpr int kNoAck = 0;
constexpr int kNoAnswer = 1;
constexpr int kNacked = 2;
constexpr int kDone = 3;

struct RequestFrame {
    std::array<uint8_t, 8> b{};
};

uint8_t FrameChecksum(const RequestFrame& frame);
uint8_t ChooseOffset(const RequestFrame& frame);
// Fills bytes 1-6, then the checksum, then the offset, as every request is built.
RequestFrame BuildRequest(uint8_t address, uint8_t command, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4);
// The nine bytes that go on the wire for a built frame.
std::array<uint8_t, 9> WireBytes(const RequestFrame& frame);
// The data checksum that ends a block run sent with this offset.
uint8_t DataRunChecksum(const uint8_t* data, size_t n, uint8_t offset);

int SendFrame(Link& link, const RequestFrame& frame);
int AwaitAck(Link& link);
// True when the answer echoes the request's address and command and its checksum holds.
bool AnswerMatches(const RequestFrame& request, const RequestFrame& answer);
// Stores the answer in the frame only when it matches the request; otherwise result 1.
int ReadAnswer(Link& link, RequestFrame& frame);
// After SendFrame returned 3: the block bytes, offset, then their checksum, then an ACK.
int SendDataRun(Link& link, const uint8_t* data, size_t n, uint8_t offset);
// After ReadAnswer returned 3: n block bytes and their checksum; the buffer is written
// only when the checksum holds.
int ReadDataRun(Link& link, uint8_t* buffer, size_t n);
// After a command that changes something heard nothing in time: listens up to
// kLateAckListenMs more, keeps what came (lateReply, lateReplyMs since requestAt) and
// empties the line. The result stays what it was: a late acknowledgement is no "done".
void ListenForLateReply(Link& link, uint64_t requestAt);
// Before a command whose success rests on a bare acknowledgement: empties the line until
// lateReplyUntil, so a late reply to an earlier question cannot pass for its ACK.
void AwaitLateReplies(Link& link);
// Before letting the line go: leaves what is left of lateReplyUntil to the line's next
// holder, who waits it out only if it comes within that time. False when the line cannot
// carry it (then the caller waits it out with AwaitLateReplies). True when nothing is left.
bool HandOverLateReplies(Link& link);
// The longest wait a handed-over time may cause: a question's time-out and the listen
// after it.
constexpr uint32_t kLateReplyMaxMs = kReplyTimeoutMs + kLateAckListenMs;

const char* CommErrorText(int result);
void ReportCommError(const Env& env, int result);
// The same box, naming the byte that came instead of an acknowledgement, or too late, if
// one did; for a line that is gone, "The line ... was lost." instead, and for one that
// never falls quiet, that. A lost line is told once, however many exchanges fail on it.
void ReportCommError(const Env& env, Link& link, int result);
// The line's own trouble (lost, never quiet), else empty: it outweighs any result.
std::string LineTroubleText(const Link& link);
// "The projector answered 0x5A, not an acknowledgement (0x06)."; empty when no stray
// byte spoiled the last exchange.
std::string StrayReplyText(const Link& link);
// What came after the last exchange's time-out, e.g. "An acknowledgement came 4005 ms
// after the request, ..."; empty when nothing did.
std::string LateReplyText(const Link& link);
// For a command that changes something and got no acknowledgement in time: a slow
// converter may still have delivered it.
extern const char kMayHaveAppliedText[];

}  // namespace ombrix
