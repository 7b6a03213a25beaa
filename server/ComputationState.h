// The state of one trip computation on its worker thread; private to the automation object.
#pragma once

#include "server/NavilonixObject.h"
#include "server/ObjectSupport.h"
#include "server/core/FieldComputer.h"

#include <cctype>

namespace navilonix::server {

// A computation on its worker thread: the trips or the field work. The worker writes only `result` or `fields`,
// `failure`, `problems` and `finished`; the main thread reads them once `finished` is set.
struct NavilonixObject::Computation {
    using Job = std::function<void(Computation&, const ProgressCallback&)>;

    // Runs the job on the worker thread. Its progress goes to percents; past the deadline (timeoutSeconds, 0 for
    // none) the progress call stops the work, which then ends with the overtime text as its failure.
    void start(ServerHost* host, LONG timeoutSeconds, std::atomic<int>* percents, Job job, std::string overtime) {
        const auto deadline = timeoutSeconds > 0
                                  ? std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds)
                                  : std::chrono::steady_clock::time_point::max();
        thread = std::thread([this, host, percents, deadline, job = std::move(job), overtime = std::move(overtime)] {
            try {
                job(*this, [&](int p) {
                    if (std::chrono::steady_clock::now() > deadline)
                        cancel = true;
                    *percents = p;
                });
            } catch (const ComputationCancelled&) {
                failure = overtime;
            } catch (const std::exception& e) {
                failure = e.what();
            }
            finished = true;
            if (host)
                host->wakeUp();
        });
    }
    // A request that cannot be computed ends at once, announced from the main loop like any other end.
    void refuse(ServerHost* host) {
        finished = true;
        if (host)
            host->wakeUp();
    }
    // Stops the work and waits for the thread.
    void stop() {
        cancel = true;
        if (thread.joinable())
            thread.join();
    }

    std::thread thread;
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::optional<ComputeResult> result;
    std::string failure;
    std::vector<std::string> problems; // damaged record files: skipped, reported at the end
    std::string description;
    // What the trips are of.
    std::string groupFile;
    long device = 0;
    std::string route;
    std::string drivers;
    std::vector<CheckPoint> checkPoints;
    std::vector<GeoZone> zones;
    // The field work's results and what it was done with.
    std::optional<std::vector<FieldResult>> fields;
    std::string implement;
    double width = 0.0;
};

// What makes a computation's request impossible: an unknown vehicle, a period that is not one, an unknown data
// source ("GSM" or "USB", any case). Empty when the request can be computed.
inline std::string requestProblem(const Vehicle* vehicle, const std::string& groupFile, long device,
                                  const std::string& startText, const std::optional<UnixTime>& from,
                                  const std::string& endText, const std::optional<UnixTime>& to,
                                  const std::string& source) {
    std::string name = source;
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!vehicle)
        return "no vehicle " + std::to_string(device) + " in " + excerpt(groupFile);
    if (!from)
        return "the period start " + excerpt(startText) + " is not a date and time";
    if (!to)
        return "the period end " + excerpt(endText) + " is not a date and time";
    if (*to <= *from)
        return "the period is empty: it ends before it starts";
    if (name != "GSM" && name != "USB")
        return "unknown data source " + excerpt(source) + " (GSM or USB)";
    return {};
}

} // namespace navilonix::server
