#include "server/rate_limiter.h"

#include <algorithm>
#include <cmath>

namespace plashwerk::server {

RateLimiter::RateLimiter(int per_minute, int burst)
    : m_per_second(per_minute / 60.0), m_burst(std::max(burst, 1)) {}

int RateLimiter::take(const std::string& address, Clock::time_point now) {
    if (m_per_second <= 0) return 0;
    std::lock_guard lock(m_mutex);
    if (m_buckets.size() >= m_sweep_at) sweep(now);
    auto [it, added] = m_buckets.try_emplace(address, Bucket{m_burst, now});
    Bucket& bucket = it->second;
    if (!added && now > bucket.updated) {
        const double elapsed = std::chrono::duration<double>(now - bucket.updated).count();
        bucket.tokens = std::min(m_burst, bucket.tokens + elapsed * m_per_second);
        bucket.updated = now;
    }
    if (bucket.tokens >= 1) {
        bucket.tokens -= 1;
        return 0;
    }
    return std::max(1, static_cast<int>(std::ceil((1 - bucket.tokens) / m_per_second)));
}

void RateLimiter::sweep(Clock::time_point now) {
    for (auto it = m_buckets.begin(); it != m_buckets.end();) {
        const double elapsed = std::chrono::duration<double>(now - it->second.updated).count();
        if (it->second.tokens + elapsed * m_per_second >= m_burst) {
            it = m_buckets.erase(it);
        } else {
            ++it;
        }
    }
    m_sweep_at = std::max<size_t>(1024, 2 * m_buckets.size());
}

size_t RateLimiter::tracked() const {
    std::lock_guard lock(m_mutex);
    return m_buckets.size();
}

std::string clientAddress(const std::string& peer, const std::string& forwarded_for,
                          const std::vector<std::string>& trusted_proxies) {
    if (forwarded_for.empty() ||
        std::find(trusted_proxies.begin(), trusted_proxies.end(), peer) == trusted_proxies.end())
        return peer;
    const size_t comma = forwarded_for.rfind(',');
    std::string last = forwarded_for.substr(comma == std::string::npos ? 0 : comma + 1);
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    last.erase(last.begin(), std::find_if_not(last.begin(), last.end(), blank));
    while (!last.empty() && blank(last.back())) last.pop_back();
    // An address is hex digits, dots and colons; anything else is not one.
    if (last.empty() || last.size() > 45 ||
        last.find_first_not_of("0123456789abcdefABCDEF.:") != std::string::npos)
        return peer;
    return last;
}

}  // namespace plashwerk::server
