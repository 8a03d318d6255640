#pragma once

#include "platform/diskarb/PublishedDisk.h"
#include "platform/sim/Scenario.h"
#include "platform/sim/SimulatedBackend.h"

#include <chrono>
#include <map>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// Plays a scenario's timed events on a thread of its own, as the system would
// report them: drives join and leave the device registry, and a disc in an
// attached drive is a disk in disk arbitration, named by its volume and by the
// drive's product as device model. The discs of drives attached at the start
// are disks from the start. Time counts from construction; destroying the
// player stops it, and the disks it reported disappear.
class EventPlayer {
  public:
    EventPlayer(SimulatedBackend& backend, const Scenario& scenario);
    EventPlayer(const EventPlayer&) = delete;
    EventPlayer& operator=(const EventPlayer&) = delete;

  private:
    void play(const std::stop_token& stop);
    void apply(const Event& event);
    // A drive's disk is present exactly while the drive is attached with a disc in it.
    void updateDisk(const std::string& driveId);

    SimulatedBackend& backend_;
    const std::vector<Event> events_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    // By drive id; the player's thread alone uses it once started.
    std::map<std::string, diskarb::PublishedDisk> disks_;
    // Last: it stops and joins before anything it uses goes.
    std::jthread thread_;
};

} // namespace sim
