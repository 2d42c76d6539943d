#pragma once
// The service's schedules and its MQTT bridge, beside the HTTP side: both act through
// the service host (its owner thread, its commands, its event hub) and nothing else.
#include <atomic>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "ServiceHost.h"
#include "server/MqttBridge.h"
#include "service/ScheduleService.h"
#include "service/Scheduler.h"

namespace ombrix::server {

class Automation {
public:
    Automation(ServiceHost& host, Clock& clock, std::ostream* log);
    ~Automation();
    Automation(const Automation&) = delete;
    Automation& operator=(const Automation&) = delete;

    // Reads schedules.json from the work folder (a refused file is logged and no schedule
    // runs until a good list is put), starts the scheduler, and the MQTT bridge when
    // mqttOption or mqtt.json asks for it. False with why when the MQTT set-up is refused.
    bool Start(const std::string& mqttOption, std::string* why);
    void Stop();

    Scheduler& Schedules() { return scheduler_; }
    const std::string& SchedulesPath() const { return schedulesPath_; }

private:
    ScheduleOutcome RunEntry(const ScheduleEntry& entry);
    std::string RunMqttCommand(const MqttCommandTopic& topic, const ServiceAction& action);
    void Log(const std::string& line);

    ServiceHost& host_;
    std::ostream* log_;
    std::mutex logMutex_;
    std::string schedulesPath_ = kSchedulesFileName;
    Scheduler scheduler_;
    std::atomic<bool> stop_{false};
    std::thread schedulerThread_;
    std::unique_ptr<MqttBridge> mqtt_;
    int subscription_ = 0;
};

}  // namespace ombrix::server
