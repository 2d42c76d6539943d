#pragma once
// A bus of simulated projectors speaking the wire protocol byte for byte. Bytes from
// the host go in with the time they arrived; reply bytes come out with the time they are
// due, so the same bus serves an in-process test on a virtual clock, a pseudo-terminal
// and a TCP port.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::sim {

enum class FaultKind {
    None,
    Silence,        // nothing at all comes back
    Nack,           // every request is refused
    ShortAnswer,    // acknowledged, but the answer (or data run) lacks its last byte
    GarbageBefore,  // junk bytes arrive before the acknowledgement
    GarbageAfter,   // junk bytes follow the reply
    LateReply,      // everything comes `arg` ms late
    LateAnswer,     // the acknowledgement is prompt, the answer `arg` ms late
    OnlyByte,       // every request, and a block's data run, is answered with the one byte `arg`
};

struct Fault {
    FaultKind kind = FaultKind::None;
    uint32_t arg = 0;
    int remaining = -1;  // exchanges left; -1 until cleared
    int skip = 0;        // exchanges that pass unharmed before it applies
};

// One settings block slot: its header fields as the header table holds them.
struct SimBlock {
    uint8_t fh = 0, fv = 0, source = 0, config = 0, extra = 0;
    std::vector<uint8_t> data;
};

struct SimSpecial {
    uint8_t header[4] = {0, 0, 0, 0};  // wire order
    std::vector<uint8_t> data;
};

struct SimParam {
    int value = 128;
    int min = 0;
    int max = 255;
    // The byte of the active block that holds it (its place in the type's description),
    // -1 when it lives apart from the blocks.
    int place = -1;
};

struct SimProjector {
    uint8_t address = 1;
    int typeCode = 0;
    char letter = 'G';
    uint8_t versionMajor = 1, versionMinor = 0;
    uint8_t serial[4] = {0xF0, 0, 0, 0};
    int32_t idNumber = 0;
    uint16_t runtimeHours = 0;
    uint8_t status[4] = {0, 0, 0x80, 0};  // status answer d1-d4
    int blockLength = 64;
    int headerVariant = 0;  // 2 = long wire header; 2 and 3 = five-byte table records
    std::vector<SimBlock> blocks;
    std::vector<SimSpecial> specials;
    int activeBlock = -1;          // index into blocks, or -1
    int activeSpecial = -1;        // index into specials, or -1
    // The slot freed by the last FreeBlock: a new block written next takes its place, as
    // the program's list shows a block freed and overwritten in one row.
    int lastFreed = -1;
    std::map<uint8_t, SimParam> params;
    uint8_t irisState = 0;
    bool poweredOn = true;
    uint32_t wakeUpMs = 8000;
    uint32_t irisRunMs = 6000;
    uint8_t forcedSource = 0, forcedType = 0;
    int selectedInput = 0;
    Fault fault;

    // Pending timed changes.
    uint64_t wakeAt = 0;
    uint64_t irisDoneAt = 0;
    uint64_t lastDigitAt = 0;
    int digitValue = -1;

    bool LongHeader() const { return headerVariant == 2; }
    bool FiveByteRecords() const { return headerVariant == 2 || headerVariant == 3; }
    bool Standby() const { return (status[2] & 0x01) != 0; }
    void WireHeader(const SimBlock& b, uint8_t out[4]) const;
    bool IsFree(const SimBlock& b) const;
    void SetFree(SimBlock& b, bool free) const;
    std::vector<uint8_t> HeaderTable() const;
    // The active block's bytes (an ordinary or a special block), nullptr when none is.
    std::vector<uint8_t>* ActiveData();
    // The active block is the projector's current settings: a parameter written lands in
    // it, and another block made active brings its own values.
    void StoreLiveValue(const SimParam& param);
    void LoadLiveValues();
};

struct TranscriptEntry {
    bool fromHost = false;
    uint64_t time = 0;
    std::vector<uint8_t> bytes;
};

class SimBus {
public:
    SimBus() = default;
    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    void AddProjector(const SimProjector& p);
    // Runs f with the projector of that address under the bus lock; false if none.
    template <class F>
    bool With(uint8_t address, F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        SimProjector* p = FindLocked(address);
        if (!p) return false;
        f(*p);
        return true;
    }
    std::vector<uint8_t> Addresses() const;

    // Host → bus.
    void Receive(uint8_t byte, uint64_t now);
    // Bus → host: bytes whose time has come, and when the next one is due.
    std::vector<uint8_t> TakeDue(uint64_t now);
    std::optional<uint64_t> NextDue() const;

    void SetFault(uint8_t address, const Fault& fault);
    void SetBusFault(const Fault& fault);  // applies to every address, answered or not
    void ClearFaults();
    void DropLine();
    void RestoreLine();
    bool LineDropped() const;
    // Applies timed changes (wake-up, IRIS progress) up to now.
    void Advance(uint64_t now);
    // Applies one control line ("fault 5 nack", "standby 3 on", ...); false with a reason.
    bool Control(const std::string& line, uint64_t now, std::string* reply);

    std::vector<TranscriptEntry> Transcript() const;
    void ClearTranscript();

private:
    enum class Mode { Hunt, Frame, WriteData };

    SimProjector* FindLocked(uint8_t address);
    void AdvanceLocked(uint64_t now);
    void HandleFrame(uint64_t now);
    bool OnlyByteReply(SimProjector* p, uint8_t command, uint64_t now);
    void HandleWriteData(uint64_t now);
    void Emit(uint64_t at, const std::vector<uint8_t>& bytes);
    void Reply(SimProjector& p, uint64_t now, bool ack, const std::vector<uint8_t>& answer);
    std::vector<uint8_t> Answer(uint8_t address, uint8_t command, uint8_t d1, uint8_t d2, uint8_t d3, uint8_t d4) const;
    void HandleKey(SimProjector& p, uint8_t key, uint64_t now);
    Fault ActiveFault(SimProjector* p);
    void ConsumeFault(SimProjector* p);

    mutable std::mutex mutex_;
    std::vector<SimProjector> projectors_;
    std::deque<std::pair<uint64_t, uint8_t>> out_;
    Mode mode_ = Mode::Hunt;
    std::vector<uint8_t> frame_;  // offset byte and seven frame bytes as received
    uint64_t lastByteAt_ = 0;
    // Block write in progress.
    uint8_t writeAddress_ = 0;
    uint8_t writeHeader_[4] = {0, 0, 0, 0};
    uint8_t writeOffset_ = 0;
    std::vector<uint8_t> writeData_;
    size_t writeExpected_ = 0;
    uint64_t writeDeadline_ = 0;
    // A data run that follows an OnlyByte reply: taken in, stored nowhere, answered with it.
    bool writeDiscard_ = false;
    uint8_t writeReplyByte_ = 0;
    Fault busFault_;
    bool dropped_ = false;
    std::vector<TranscriptEntry> transcript_;
};

// Reads a demo bus description; false with the first error ("line N: ...").
bool LoadBusFile(const std::string& path, SimBus* bus, std::string* error);
// Description files named in the text are found relative to baseDirectory.
bool ParseBusText(const std::string& text, SimBus* bus, std::string* error, const std::string& baseDirectory = "");

}  // namespace ombrix::sim
