#pragma once
// Submissions per client address, as token buckets: each address may send `burst` at once
// and then `per_minute` a minute, evenly spread. The clock is passed in, so that tests can
// step it.

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace plashwerk::server {

class RateLimiter {
  public:
    using Clock = std::chrono::steady_clock;

    /// per_minute 0 turns the limit off; burst is the bucket's size (at least 1).
    RateLimiter(int per_minute, int burst);

    /// Takes a token of the address's bucket: 0 when it had one, else the whole seconds
    /// (at least 1) until it will have one again.
    int take(const std::string& address, Clock::time_point now);
    int take(const std::string& address) { return take(address, Clock::now()); }

    /// Addresses with a bucket that is not full (the others are forgotten as they fill).
    size_t tracked() const;

  private:
    struct Bucket {
        double tokens = 0;
        Clock::time_point updated;
    };
    // Fills every bucket to now and drops the full ones: an address with a full bucket
    // is the same as one never seen. Done when the map has doubled since the last sweep,
    // so memory stays bounded by the addresses of the last burst/rate interval.
    void sweep(Clock::time_point now);

    double m_per_second;
    double m_burst;
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Bucket> m_buckets;
    size_t m_sweep_at = 1024;
};

/// The address a request counts against: the peer's, or when the peer is one of the
/// trusted proxies, the last address of X-Forwarded-For (the one that proxy appended:
/// earlier ones came from the client and prove nothing). An unusable header falls back to
/// the peer.
std::string clientAddress(const std::string& peer, const std::string& forwarded_for,
                          const std::vector<std::string>& trusted_proxies);

}  // namespace plashwerk::server
