#include "SimBus.h"

#include <algorithm>
#include <cstdint>
#include <sstream>

#include "link/Commands.h"
#include "link/Frame.h"

namespace ombrix::sim {
namespace {

// How long a projector takes before it acknowledges, and before its answer follows.
constexpr uint64_t kAckDelayMs = 5;
constexpr uint64_t kAnswerDelayMs = 20;
// A frame or data run that stalls this long is abandoned, so one lost byte cannot
// leave the bus deaf.
constexpr uint64_t kFrameStallMs = 500;
constexpr uint64_t kWriteStallMs = 3000;

}  // namespace

void SimProjector::WireHeader(const SimBlock& b, uint8_t out[4]) const {
    if (LongHeader()) {
        out[0] = b.fh, out[1] = b.fv, out[2] = b.source, out[3] = b.config;
    } else {
        out[0] = b.fh, out[1] = b.source, out[2] = b.config, out[3] = b.fv;
    }
}

bool SimProjector::IsFree(const SimBlock& b) const {
    return LongHeader() ? (b.config & 0x04) != 0 : (b.source & 0x80) != 0;
}

void SimProjector::SetFree(SimBlock& b, bool free) const {
    if (LongHeader()) {
        b.config = static_cast<uint8_t>(free ? (b.config | 0x04) : (b.config & ~0x04));
    } else {
        b.source = static_cast<uint8_t>(free ? (b.source | 0x80) : (b.source & 0x7F));
    }
}

std::vector<uint8_t> SimProjector::HeaderTable() const {
    std::vector<uint8_t> t;
    for (const SimBlock& b : blocks) {
        if (FiveByteRecords()) {
            t.insert(t.end(), {b.fh, b.fv, b.source, b.config, b.extra});
        } else {
            t.insert(t.end(), {b.fh, b.source, b.config, b.fv});
        }
    }
    t.resize(static_cast<size_t>(std::max(blockLength, 0)), 0);
    return t;
}

std::vector<uint8_t>* SimProjector::ActiveData() {
    if (activeBlock >= 0 && activeBlock < static_cast<int>(blocks.size())) return &blocks[static_cast<size_t>(activeBlock)].data;
    if (activeSpecial >= 0 && activeSpecial < static_cast<int>(specials.size()))
        return &specials[static_cast<size_t>(activeSpecial)].data;
    return nullptr;
}

void SimProjector::StoreLiveValue(const SimParam& param) {
    std::vector<uint8_t>* data = ActiveData();
    if (!data || param.place < 0 || static_cast<size_t>(param.place) >= data->size()) return;
    (*data)[static_cast<size_t>(param.place)] = static_cast<uint8_t>(param.value);
}

void SimProjector::LoadLiveValues() {
    const std::vector<uint8_t>* data = ActiveData();
    if (!data) return;
    for (auto& [code, param] : params) {
        if (param.place < 0 || static_cast<size_t>(param.place) >= data->size()) continue;
        param.value = std::clamp(static_cast<int>((*data)[static_cast<size_t>(param.place)]), param.min, param.max);
    }
}

void SimBus::AddProjector(const SimProjector& p) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& q : projectors_) {
        if (q.address == p.address) {
            q = p;
            return;
        }
    }
    projectors_.push_back(p);
}

std::vector<uint8_t> SimBus::Addresses() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<uint8_t> a;
    for (const auto& p : projectors_) a.push_back(p.address);
    return a;
}

SimProjector* SimBus::FindLocked(uint8_t address) {
    for (auto& p : projectors_) {
        if (p.address == address) return &p;
    }
    return nullptr;
}

void SimBus::Emit(uint64_t at, const std::vector<uint8_t>& bytes) {
    if (dropped_ || bytes.empty()) return;
    // Replies never overtake each other.
    uint64_t t = at;
    if (!out_.empty()) t = std::max(t, out_.back().first);
    for (uint8_t b : bytes) out_.emplace_back(t, b);
    transcript_.push_back({false, at, bytes});
}

std::vector<uint8_t> SimBus::TakeDue(uint64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    AdvanceLocked(now);
    std::vector<uint8_t> due;
    while (!out_.empty() && out_.front().first <= now) {
        due.push_back(out_.front().second);
        out_.pop_front();
    }
    return due;
}

std::optional<uint64_t> SimBus::NextDue() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (out_.empty()) return std::nullopt;
    return out_.front().first;
}

void SimBus::SetFault(uint8_t address, const Fault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (SimProjector* p = FindLocked(address)) p->fault = fault;
}

void SimBus::SetBusFault(const Fault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    busFault_ = fault;
}

void SimBus::ClearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    busFault_ = Fault{};
    for (auto& p : projectors_) p.fault = Fault{};
}

void SimBus::DropLine() {
    std::lock_guard<std::mutex> lock(mutex_);
    dropped_ = true;
    out_.clear();
}

void SimBus::RestoreLine() {
    std::lock_guard<std::mutex> lock(mutex_);
    dropped_ = false;
    mode_ = Mode::Hunt;
}

bool SimBus::LineDropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

std::vector<TranscriptEntry> SimBus::Transcript() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return transcript_;
}

void SimBus::ClearTranscript() {
    std::lock_guard<std::mutex> lock(mutex_);
    transcript_.clear();
}

void SimBus::Advance(uint64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    AdvanceLocked(now);
}

void SimBus::AdvanceLocked(uint64_t now) {
    for (auto& p : projectors_) {
        if (p.wakeAt && now >= p.wakeAt) {
            p.wakeAt = 0;
            p.status[2] = static_cast<uint8_t>(p.status[2] & ~0x03);
        }
        if (p.irisDoneAt && now >= p.irisDoneAt) {
            p.irisDoneAt = 0;
            // A function that ran to its end leaves the projector operational.
            if (p.irisState == 0x1E) p.irisState = 0x00;
        }
    }
    if (mode_ != Mode::WriteData) return;
    // A data run that stops short is refused once it has stalled, so the bus hears the
    // next request instead of taking it for data.
    if (!writeData_.empty() && now > lastByteAt_ + kFrameStallMs) {
        mode_ = Mode::Hunt;
        Emit(lastByteAt_ + kFrameStallMs, {writeDiscard_ ? writeReplyByte_ : kNack});
        writeDiscard_ = false;
    } else if (now > writeDeadline_) {
        mode_ = Mode::Hunt;
        writeDiscard_ = false;
    }
}

Fault SimBus::ActiveFault(SimProjector* p) {
    const Fault* f = busFault_.kind != FaultKind::None ? &busFault_ : (p ? &p->fault : nullptr);
    if (!f || f->skip > 0) return Fault{};
    return *f;
}

void SimBus::ConsumeFault(SimProjector* p) {
    Fault* f = busFault_.kind != FaultKind::None ? &busFault_ : (p ? &p->fault : nullptr);
    if (!f || f->kind == FaultKind::None) return;
    if (f->skip > 0) {
        --f->skip;
        return;
    }
    if (f->remaining < 0) return;
    if (--f->remaining <= 0) *f = Fault{};
}

void SimBus::Receive(uint8_t byte, uint64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (dropped_) return;
    AdvanceLocked(now);
    if (mode_ == Mode::Frame && now - lastByteAt_ > kFrameStallMs) mode_ = Mode::Hunt;
    lastByteAt_ = now;
    switch (mode_) {
        case Mode::Hunt:
            if (byte == kStartByte) {
                frame_.clear();
                mode_ = Mode::Frame;
            }
            break;
        case Mode::Frame:
            frame_.push_back(byte);
            if (frame_.size() == 8) {
                mode_ = Mode::Hunt;
                transcript_.push_back({true, now, {kStartByte}});
                transcript_.back().bytes.insert(transcript_.back().bytes.end(), frame_.begin(), frame_.end());
                HandleFrame(now);
            }
            break;
        case Mode::WriteData:
            writeData_.push_back(byte);
            if (writeData_.size() == writeExpected_ + 1) {
                mode_ = Mode::Hunt;
                transcript_.push_back({true, now, writeData_});
                HandleWriteData(now);
            }
            break;
    }
}

std::vector<uint8_t> SimBus::Answer(uint8_t address, uint8_t command, uint8_t d1, uint8_t d2, uint8_t d3,
                                    uint8_t d4) const {
    std::vector<uint8_t> a = {address, command, d1, d2, d3, d4, 0};
    unsigned sum = 0;
    for (int i = 0; i < 6; ++i) sum += a[static_cast<size_t>(i)];
    a[6] = static_cast<uint8_t>(sum);
    return a;
}

void SimBus::Reply(SimProjector& p, uint64_t now, bool ack, const std::vector<uint8_t>& answer) {
    const Fault f = ActiveFault(&p);
    ConsumeFault(&p);
    uint64_t ackAt = now + kAckDelayMs;
    uint64_t answerAt = ackAt + kAnswerDelayMs;
    std::vector<uint8_t> body = answer;
    switch (f.kind) {
        case FaultKind::Silence: return;
        case FaultKind::Nack: Emit(ackAt, {kNack}); return;
        case FaultKind::ShortAnswer:
            if (!body.empty()) body.pop_back();
            break;
        case FaultKind::GarbageBefore: Emit(now + 1, std::vector<uint8_t>(std::max<uint32_t>(f.arg, 1), 0x5A)); break;
        case FaultKind::LateReply:
            ackAt += f.arg;
            answerAt += f.arg;
            break;
        case FaultKind::LateAnswer: answerAt += f.arg; break;
        default: break;
    }
    Emit(ackAt, {ack ? kAck : kNack});
    if (ack) Emit(answerAt, body);
    if (f.kind == FaultKind::GarbageAfter) Emit(answerAt + 1, std::vector<uint8_t>(std::max<uint32_t>(f.arg, 1), 0xA5));
}

void SimBus::HandleFrame(uint64_t now) {
    const uint8_t offset = frame_[0];
    uint8_t b[8];
    b[0] = offset;
    for (int i = 1; i <= 7; ++i) b[i] = static_cast<uint8_t>(frame_[static_cast<size_t>(i)] - offset);
    const uint8_t address = b[1];
    const uint8_t command = b[2];
    SimProjector* p = FindLocked(address);
    if (OnlyByteReply(p, command, now)) return;
    // A bus-wide silence or a switched-off projector: nobody answers.
    if (!p || !p->poweredOn) {
        if (busFault_.kind == FaultKind::Silence) ConsumeFault(nullptr);
        return;
    }
    unsigned sum = 0;
    for (int i = 1; i <= 6; ++i) sum += b[i];
    if (static_cast<uint8_t>(sum) != b[7]) {
        Reply(*p, now, false, {});
        return;
    }
    // A projector that does not hear the request, or refuses it, changes nothing.
    const FaultKind early = ActiveFault(p).kind;
    if (early == FaultKind::Silence || early == FaultKind::Nack) {
        Reply(*p, now, true, {});
        return;
    }
    const uint8_t p1 = b[3], p2 = b[4], p3 = b[5], p4 = b[6];
    const bool standby = p->Standby();
    switch (command) {
        case 'K': {
            // The first status byte doubles as the IRIS state.
            const uint8_t d1 = static_cast<uint8_t>((p->status[0] & 0x40) | p->irisState);
            Reply(*p, now, true, Answer(address, command, d1, p->status[1], p->status[2], p->status[3]));
            return;
        }
        case 'L':
            Reply(*p, now, true,
                  Answer(address, command, static_cast<uint8_t>(p->letter), p->versionMajor, p->versionMinor,
                         static_cast<uint8_t>(p->typeCode)));
            return;
        case 'M':
            Reply(*p, now, true, Answer(address, command, p->serial[0], p->serial[1], p->serial[2], p->serial[3]));
            return;
        case 'I': {
            const uint32_t v = static_cast<uint32_t>(p->idNumber);
            Reply(*p, now, true,
                  Answer(address, command, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                         static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)));
            return;
        }
        case 0x60:
            Reply(*p, now, true,
                  Answer(address, command, static_cast<uint8_t>(p->runtimeHours >> 8),
                         static_cast<uint8_t>(p->runtimeHours), 0, 0));
            return;
        case 'J': {
            uint8_t h[4] = {0, 0, 0, 0};
            if (p->activeBlock >= 0 && p->activeBlock < static_cast<int>(p->blocks.size())) {
                p->WireHeader(p->blocks[static_cast<size_t>(p->activeBlock)], h);
            } else if (p->activeSpecial >= 0 && p->activeSpecial < static_cast<int>(p->specials.size())) {
                std::copy(p->specials[static_cast<size_t>(p->activeSpecial)].header,
                          p->specials[static_cast<size_t>(p->activeSpecial)].header + 4, h);
            }
            Reply(*p, now, true, Answer(address, command, h[0], h[1], h[2], h[3]));
            return;
        }
        case 'r': {
            if (standby) break;
            std::vector<uint8_t> data;
            bool found = false;
            const uint8_t want[4] = {p1, p2, p3, p4};
            if (p1 == 0xFF && p2 == 0xFF && p3 == 0xFF && p4 == 0xFF) {
                data = p->HeaderTable();
                found = true;
            }
            for (size_t i = 0; !found && i < p->blocks.size(); ++i) {
                uint8_t h[4];
                p->WireHeader(p->blocks[i], h);
                if (std::equal(h, h + 4, want)) {
                    data = p->blocks[i].data;
                    found = true;
                }
            }
            for (size_t i = 0; !found && i < p->specials.size(); ++i) {
                if (std::equal(p->specials[i].header, p->specials[i].header + 4, want)) {
                    data = p->specials[i].data;
                    found = true;
                }
            }
            if (!found) break;
            data.resize(static_cast<size_t>(std::max(p->blockLength, 0)), 0);
            std::vector<uint8_t> reply = Answer(address, command, p1, p2, p3, p4);
            unsigned dsum = 0;
            for (uint8_t d : data) dsum += d;
            reply.insert(reply.end(), data.begin(), data.end());
            reply.push_back(static_cast<uint8_t>(dsum));
            Reply(*p, now, true, reply);
            return;
        }
        case 'q': {
            if (standby) break;
            const Fault f = ActiveFault(p);
            Emit(now + kAckDelayMs + (f.kind == FaultKind::LateReply ? f.arg : 0), {kAck});
            mode_ = Mode::WriteData;
            writeAddress_ = address;
            writeHeader_[0] = p1, writeHeader_[1] = p2, writeHeader_[2] = p3, writeHeader_[3] = p4;
            writeOffset_ = offset;
            writeData_.clear();
            writeExpected_ = static_cast<size_t>(std::max(p->blockLength, 0));
            writeDeadline_ = now + kWriteStallMs;
            return;
        }
        case 's': {
            if (standby) break;
            const uint8_t want[4] = {p1, p2, p3, p4};
            for (auto& blk : p->blocks) {
                uint8_t h[4];
                p->WireHeader(blk, h);
                if (std::equal(h, h + 4, want) && !p->IsFree(blk)) {
                    p->SetFree(blk, true);
                    p->lastFreed = static_cast<int>(&blk - p->blocks.data());
                    Reply(*p, now, true, {});
                    return;
                }
            }
            break;
        }
        case 'z': {
            if (standby) break;
            const auto it = p->params.find(p1);
            if (it == p->params.end()) break;
            Reply(*p, now, true, Answer(address, command, p1, p2, static_cast<uint8_t>(it->second.value), 0));
            return;
        }
        case 'y': {
            if (standby) break;
            auto it = p->params.find(p1);
            if (it == p->params.end()) break;
            // The step is a signed byte; the projector keeps the value within its limits.
            const int step = static_cast<int8_t>(p3);
            it->second.value = std::clamp(it->second.value + step, it->second.min, it->second.max);
            p->StoreLiveValue(it->second);
            Reply(*p, now, true, {});
            return;
        }
        case 't':
            if (standby) break;
            p->forcedSource = p1;
            p->forcedType = p2;
            Reply(*p, now, true, {});
            return;
        case 'b':
            if (standby) break;
            if (p1 == 0xFF) {
                p->irisState = p->irisState == 0x1E ? 0x1C : 0x00;
                p->irisDoneAt = 0;
            } else if (p1 == 0) {
                p->irisState = 0x1C;
            } else if (p->irisState == 0x1C) {
                p->irisState = 0x1E;
                p->irisDoneAt = now + p->irisRunMs;
            } else {
                break;
            }
            Reply(*p, now, true, {});
            return;
        case 'Q':
            if (standby) break;
            p->irisState = 0x00;
            Reply(*p, now, true, {});
            return;
        default:
            HandleKey(*p, command, now);
            Reply(*p, now, true, {});
            return;
    }
    Reply(*p, now, false, {});
}

// Decided before the request is looked at, so it changes nothing on the projector. A
// bus-wide one answers for every address, a projector's own only while it is on.
bool SimBus::OnlyByteReply(SimProjector* p, uint8_t command, uint64_t now) {
    const bool busWide = busFault_.kind == FaultKind::OnlyByte;
    if (!busWide && (!p || !p->poweredOn)) return false;
    const Fault f = ActiveFault(p);
    if (f.kind != FaultKind::OnlyByte) return false;
    ConsumeFault(p);
    const auto byte = static_cast<uint8_t>(f.arg);
    Emit(now + kAckDelayMs, {byte});
    // Taken for an acknowledgement, it draws a block's data run: swallow it whole, or
    // it would be heard as requests.
    if (byte == kAck && command == kCmdWriteBlockData) {
        mode_ = Mode::WriteData;
        writeDiscard_ = true;
        writeReplyByte_ = byte;
        writeAddress_ = p ? p->address : 0;
        writeData_.clear();
        writeExpected_ = p ? static_cast<size_t>(std::max(p->blockLength, 0)) : SIZE_MAX - 1;
        writeDeadline_ = now + kWriteStallMs;
    }
    return true;
}

void SimBus::HandleKey(SimProjector& p, uint8_t key, uint64_t now) {
    uint8_t& d3 = p.status[2];
    if (key == 0x0E) {
        if (p.Standby()) {
            if (!p.wakeAt) p.wakeAt = now + p.wakeUpMs;
        } else {
            d3 = static_cast<uint8_t>((d3 & ~0x03) | 0x01);
        }
        return;
    }
    if (p.Standby()) return;
    if (key == 0x0F) {
        d3 = static_cast<uint8_t>(d3 ^ 0x02);
    } else if (key == 0x0D) {
        d3 = static_cast<uint8_t>(d3 ^ 0x04);
    } else if (key >= 0x10 && key <= 0x19) {
        // Two digits in quick succession make one two-digit input number.
        const int d = key - 0x10;
        if (p.digitValue >= 0 && now - p.lastDigitAt <= 1000 && p.digitValue < 10) {
            p.digitValue = p.digitValue * 10 + d;
        } else {
            p.digitValue = d;
        }
        p.lastDigitAt = now;
        p.selectedInput = p.digitValue;
        for (size_t i = 0; i < p.blocks.size(); ++i) {
            const SimBlock& b = p.blocks[i];
            if (!p.IsFree(b) && (b.source & 0x7F) == p.selectedInput) {
                p.activeBlock = static_cast<int>(i);
                p.activeSpecial = -1;
                p.LoadLiveValues();
                break;
            }
        }
    }
}

void SimBus::HandleWriteData(uint64_t now) {
    if (writeDiscard_) {
        writeDiscard_ = false;
        Emit(now + kAckDelayMs, {writeReplyByte_});
        return;
    }
    SimProjector* p = FindLocked(writeAddress_);
    if (!p) return;
    std::vector<uint8_t> data(writeExpected_);
    unsigned sum = 0;
    for (size_t i = 0; i < writeExpected_; ++i) {
        data[i] = static_cast<uint8_t>(writeData_[i] - writeOffset_);
        sum += data[i];
    }
    const uint8_t expected = static_cast<uint8_t>(static_cast<uint8_t>(sum) + writeOffset_);
    auto ackOnly = [&](bool ack) {
        const Fault f = ActiveFault(p);
        ConsumeFault(p);
        if (f.kind == FaultKind::Silence) return;
        Emit(now + kAckDelayMs + (f.kind == FaultKind::LateReply ? f.arg : 0), {ack ? kAck : kNack});
    };
    if (writeData_.back() != expected) {
        ackOnly(false);
        return;
    }
    const uint8_t* want = writeHeader_;
    for (auto& sp : p->specials) {
        if (std::equal(sp.header, sp.header + 4, want)) {
            sp.data = data;
            p->LoadLiveValues();
            ackOnly(true);
            return;
        }
    }
    // Same header: overwrite. Its freed form: undelete. Else the first free slot.
    SimBlock* target = nullptr;
    for (auto& b : p->blocks) {
        uint8_t h[4];
        p->WireHeader(b, h);
        if (std::equal(h, h + 4, want)) {
            target = &b;
            break;
        }
    }
    SimBlock probe;
    if (p->LongHeader()) {
        probe.fh = want[0], probe.fv = want[1], probe.source = want[2], probe.config = want[3];
    } else {
        probe.fh = want[0], probe.source = want[1], probe.config = want[2], probe.fv = want[3];
    }
    if (!target && !p->IsFree(probe)) {
        SimBlock freed = probe;
        p->SetFree(freed, true);
        uint8_t fw[4];
        p->WireHeader(freed, fw);
        for (auto& b : p->blocks) {
            uint8_t h[4];
            p->WireHeader(b, h);
            if (std::equal(h, h + 4, fw)) {
                target = &b;
                break;
            }
        }
    }
    bool newBlock = false;
    const int freed = p->lastFreed;
    p->lastFreed = -1;
    if (!target && freed >= 0 && freed < static_cast<int>(p->blocks.size()) &&
        p->IsFree(p->blocks[static_cast<size_t>(freed)])) {
        target = &p->blocks[static_cast<size_t>(freed)];
        newBlock = true;
    }
    if (!target) {
        for (auto& b : p->blocks) {
            if (p->IsFree(b)) {
                target = &b;
                newBlock = true;
                break;
            }
        }
    }
    if (!target) {
        ackOnly(false);
        return;
    }
    // The fifth byte of a long record is not on the wire: a block that takes over a
    // free slot does not inherit the old block's.
    if (newBlock) target->extra = 0;
    target->fh = probe.fh, target->fv = probe.fv, target->source = probe.source, target->config = probe.config;
    target->data = data;
    p->LoadLiveValues();
    ackOnly(true);
}

namespace {

bool ParseNumber(const std::string& s, long* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 0);
    if (*end) return false;
    *out = v;
    return true;
}

bool ParseFaultKind(const std::string& s, FaultKind* k) {
    static const std::pair<const char*, FaultKind> kNames[] = {
        {"none", FaultKind::None},          {"silence", FaultKind::Silence},
        {"nack", FaultKind::Nack},          {"short", FaultKind::ShortAnswer},
        {"garbage-before", FaultKind::GarbageBefore}, {"garbage-after", FaultKind::GarbageAfter},
        {"late", FaultKind::LateReply},     {"late-answer", FaultKind::LateAnswer},
        {"byte", FaultKind::OnlyByte},
    };
    for (const auto& [name, kind] : kNames) {
        if (s == name) {
            *k = kind;
            return true;
        }
    }
    return false;
}

}  // namespace

bool SimBus::Control(const std::string& line, uint64_t now, std::string* reply) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string t; in >> t;) w.push_back(t);
    auto fail = [&](const std::string& why) {
        if (reply) *reply = "error: " + why;
        return false;
    };
    auto ok = [&]() {
        if (reply) *reply = "ok";
        return true;
    };
    if (w.empty()) return ok();
    const std::string& cmd = w[0];
    if (cmd == "drop") {
        DropLine();
        return ok();
    }
    if (cmd == "restore") {
        RestoreLine();
        return ok();
    }
    if (cmd == "clear") {
        ClearFaults();
        return ok();
    }
    if (cmd == "list") {
        std::ostringstream o;
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& p : projectors_) {
            o << static_cast<int>(p.address) << ' ' << p.letter << ' ' << p.typeCode
              << (p.poweredOn ? (p.Standby() ? " standby" : " on") : " off") << '\n';
        }
        if (reply) *reply = o.str() + "ok";
        return true;
    }
    long addr = 0;
    if (w.size() < 3) return fail("usage: fault ADDR KIND [ARG] [COUNT] | power ADDR on|off | standby ADDR on|off | iris ADDR STATE");
    const bool all = w[1] == "all";
    if (!all && (!ParseNumber(w[1], &addr) || addr < 0 || addr > 255)) return fail("bad address " + w[1]);
    if (cmd == "fault") {
        Fault f;
        if (!ParseFaultKind(w[2], &f.kind)) return fail("unknown fault " + w[2]);
        long v = 0;
        if (w.size() > 3) {
            if (!ParseNumber(w[3], &v) || v < 0) return fail("bad argument " + w[3]);
            if (f.kind == FaultKind::OnlyByte && v > 255) return fail("bad byte " + w[3]);
            f.arg = static_cast<uint32_t>(v);
        } else if (f.kind == FaultKind::OnlyByte) {
            return fail("fault byte needs the byte, e.g. 0x5A");
        }
        if (w.size() > 4) {
            if (!ParseNumber(w[4], &v) || v <= 0) return fail("bad count " + w[4]);
            f.remaining = static_cast<int>(v);
        }
        if (all) {
            SetBusFault(f);
        } else if (!With(static_cast<uint8_t>(addr), [&](SimProjector& p) { p.fault = f; })) {
            return fail("no projector at " + w[1]);
        }
        return ok();
    }
    if (cmd == "power" || cmd == "standby") {
        const bool on = w[2] == "on";
        if (!on && w[2] != "off") return fail("expected on or off");
        const bool found = With(static_cast<uint8_t>(addr), [&](SimProjector& p) {
            if (cmd == "power") {
                p.poweredOn = on;
            } else {
                p.wakeAt = 0;
                p.status[2] = static_cast<uint8_t>(on ? ((p.status[2] & ~0x03) | 0x01) : (p.status[2] & ~0x03));
            }
        });
        (void)now;
        return found ? ok() : fail("no projector at " + w[1]);
    }
    if (cmd == "iris") {
        // Forces the IRIS state byte, e.g. one the program does not expect.
        long v = 0;
        if (!ParseNumber(w[2], &v) || v < 0 || v > 0x3F) return fail("bad IRIS state " + w[2]);
        const bool found = With(static_cast<uint8_t>(addr), [&](SimProjector& p) {
            p.irisState = static_cast<uint8_t>(v);
            p.irisDoneAt = 0;
        });
        return found ? ok() : fail("no projector at " + w[1]);
    }
    return fail("unknown command " + cmd);
}

}  // namespace ombrix::sim
