#include "transport/host_resolver.h"

#include <netdb.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace tevo::visa {
namespace {

int SystemResolve(const std::string& host, ViUInt16 port, int flags,
                  std::vector<Endpoint>* endpoints) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | flags;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int error = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (error != 0) {
        return error;
    }
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        Endpoint endpoint;
        if (entry->ai_addrlen <= sizeof endpoint.address) {
            std::memcpy(&endpoint.address, entry->ai_addr, entry->ai_addrlen);
            endpoint.length = entry->ai_addrlen;
            endpoints->push_back(endpoint);
        }
    }
    freeaddrinfo(found);
    return 0;
}

std::mutex override_mutex;
std::optional<BlockingResolver> resolver_override;  // guarded by override_mutex

BlockingResolver CurrentResolver() {
    std::lock_guard<std::mutex> lock(override_mutex);
    if (resolver_override) {
        return *resolver_override;
    }
    return [](const std::string& host, ViUInt16 port, std::vector<Endpoint>* endpoints) {
        return SystemResolve(host, port, 0, endpoints);
    };
}

// The outcome of one look-up, shared by the caller, who may stop waiting, and the helper.
struct Lookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    int error = 0;
    std::vector<Endpoint> endpoints;
};

// The helper threads of look-ups. A finished helper is joined when the next one starts;
// the rest are joined when the library is unloaded (or the process ends), so that no
// helper runs this library's code after that.
class HelperThreads {
  public:
    HelperThreads() = default;
    HelperThreads(const HelperThreads&) = delete;
    HelperThreads& operator=(const HelperThreads&) = delete;
    ~HelperThreads() {
        for (Helper& helper : helpers_) {
            helper.thread.join();
        }
    }

    // Throws std::system_error when no thread can be started.
    void Start(std::function<void()> work) {
        std::lock_guard<std::mutex> lock(mutex_);
        JoinFinished();
        auto finished = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([work = std::move(work), finished] {
            work();
            finished->store(true);
        });
        helpers_.push_back({std::move(thread), std::move(finished)});
    }

  private:
    struct Helper {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    void JoinFinished() {
        for (auto it = helpers_.begin(); it != helpers_.end();) {
            if (it->finished->load()) {
                it->thread.join();
                it = helpers_.erase(it);
            } else {
                ++it;
            }
        }
    }

    std::mutex mutex_;
    std::vector<Helper> helpers_;
};

HelperThreads helper_threads;

}  // namespace

ViStatus ResolveHost(const std::string& host, ViUInt16 port, const Deadline& deadline,
                     std::vector<Endpoint>* endpoints, std::string* detail) {
    endpoints->clear();
    if (SystemResolve(host, port, AI_NUMERICHOST, endpoints) == 0 && !endpoints->empty()) {
        return VI_SUCCESS;  // a numeric address: nothing to look up
    }
    endpoints->clear();

    auto lookup = std::make_shared<Lookup>();
    auto work = [lookup, resolver = CurrentResolver(), host, port] {
        std::vector<Endpoint> found;
        const int error = resolver(host, port, &found);
        {
            std::lock_guard<std::mutex> lock(lookup->mutex);
            lookup->error = error;
            lookup->endpoints = std::move(found);
            lookup->done = true;
        }
        lookup->finished.notify_all();
    };
    try {
        helper_threads.Start(work);
    } catch (const std::system_error&) {
        work();  // no thread to be had: resolve here, without the bound
    }

    std::unique_lock<std::mutex> lock(lookup->mutex);
    const auto done = [&] { return lookup->done; };
    if (deadline.IsInfinite()) {
        lookup->finished.wait(lock, done);
    } else if (!lookup->finished.wait_until(lock, deadline.When(), done)) {
        *detail = "The host name \"" + host + "\" did not resolve within the open time-out.";
        return VI_ERROR_TMO;
    }
    if (lookup->error != 0) {
        *detail = "The host name \"" + host + "\" does not resolve (" +
                  gai_strerror(lookup->error) + ").";
        return VI_ERROR_RSRC_NFOUND;
    }
    if (lookup->endpoints.empty()) {
        *detail = "The host name \"" + host + "\" has no address for TCP.";
        return VI_ERROR_RSRC_NFOUND;
    }
    *endpoints = std::move(lookup->endpoints);
    return VI_SUCCESS;
}

ScopedResolverOverride::ScopedResolverOverride(BlockingResolver resolver) {
    std::lock_guard<std::mutex> lock(override_mutex);
    resolver_override = std::move(resolver);
}

ScopedResolverOverride::~ScopedResolverOverride() {
    std::lock_guard<std::mutex> lock(override_mutex);
    resolver_override.reset();
}

}  // namespace tevo::visa
