// Any bytes as what the line brings back: every command of the command set reads its
// answer from them on a virtual clock, returns one of its four results and never reads
// past its buffers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "link/Commands.h"
#include "link/Link.h"
#include "platform/Clock.h"

namespace {

using namespace ombrix;

// Serves the fuzzer's bytes as input, whatever is sent; a purge drops nothing, so the
// bytes reach the answer decoding.
class ScriptedDevice final : public SerialDevice {
public:
    ScriptedDevice(const uint8_t* data, size_t size, Clock& clock) : data_(data), size_(size), clock_(clock) {}
    bool Configure(const LineSettings&, SysError*) override { return true; }
    bool PutByte(uint8_t) override { return true; }
    int InputCount() override { return static_cast<int>(size_ - pos_); }
    bool LineDropped() override { return false; }
    int GetByte() override { return pos_ < size_ ? data_[pos_++] : -1; }
    void WaitInput(uint32_t maxMs) override { clock_.SleepUntil(clock_.TickMs() + maxMs); }
    void Purge() override {}
    void SetDtr(bool) override {}

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    Clock& clock_;
};

class ScriptedOpener final : public DeviceOpener {
public:
    ScriptedOpener(const uint8_t* data, size_t size, Clock& clock) : data_(data), size_(size), clock_(clock) {}
    std::unique_ptr<SerialDevice> Open(const std::string&, SysError*) override {
        return std::make_unique<ScriptedDevice>(data_, size_, clock_);
    }

private:
    const uint8_t* data_;
    size_t size_;
    Clock& clock_;
};

void Check(int result) {
    if (result < 0 || result > 3) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VirtualClock clock;
    ScriptedOpener opener(data, size, clock);
    Link link(clock, opener);
    link.deviceOverride = "scripted";
    Env env;
    env.clock = &clock;
    if (SetupConnection(env, link, kOwnerTool) != 1) return 0;
    const uint8_t a = 1;
    StatusFlags flags;
    uint32_t optionsValid = 0, typeCode = 0, value = 0;
    std::string letter, version, text;
    uint8_t four[4];
    uint8_t block[256];
    Check(ReadStatus(link, a, &flags, &optionsValid));
    Check(ReadIdentity(link, a, &letter, &version, &typeCode));
    Check(ReadSerialNumber(link, a, &text));
    Check(ReadRuntime(link, a, &text));
    Check(ReadIdNumber(link, a, &text));
    Check(ReadLocation(link, a, four));
    Check(ReadParameter(link, a, 1, 2, &value));
    Check(ReadIrisState(link, a, four));
    Check(ReadBlockData(link, a, block, 0xff, 0xff, 0xff, 0xff, 240));
    Check(ReadBlockData(link, a, block, 1, 2, 3, 4, 1));
    CloseConnectionAll(link);
    return 0;
}
