#pragma once

#include <httplib.h>

#include <atomic>
#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "TestHTTPServer.h"

namespace testsupport {

// Far past any limit a client sets, small enough that a client without one survives to fail.
inline constexpr std::size_t kHostileCap = std::size_t{64} << 20;

// A gzip stream that inflates to `size` bytes of `filler` followed by `tail`: on the wire it is
// about a thousandth of what it becomes.
std::string gzipBomb(std::size_t size, char filler = '\0', std::string_view tail = {});

// A reply that would go on for ever: `head`, then chunks of `filler` with no length, counted as
// they are sent. So that a client that never stops reading fails a check instead of running the
// test out of memory or disk, the stream ends after `cap` bytes of filler, with `tail`.
class EndlessReply {
  public:
    explicit EndlessReply(std::size_t cap, char filler = ' ', std::string tail = {},
                          std::string head = {});

    // Status 200 (unless the handler set another) and the stream.
    void answer(httplib::Response& response, const std::string& contentType) const;
    // Filler bytes the connections took, over every answer so far.
    std::size_t sent() const { return state_->sent.load(); }
    // The most filler bytes one answer's connection took.
    std::size_t mostByOneAnswer() const { return state_->most.load(); }
    std::size_t cap() const { return cap_; }

  private:
    struct State {
        std::atomic<std::size_t> sent{0};
        std::atomic<std::size_t> most{0};
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::size_t cap_;
    char filler_;
    std::string tail_;
    std::string head_;
};

// A reply that trickles: one byte of `filler` every `interval` until stop() or until it has
// sent `length` bytes (then it ends). A client whose time-out waits only for progress holds on
// to it for ever. Declare it before the server that serves it and stop it before the server
// goes, as the server's stop waits for every reply under way.
class DripReply {
  public:
    static constexpr double kInterval = 0.1;

    explicit DripReply(char filler = ' ', double interval = kInterval,
                       std::size_t length = std::numeric_limits<std::size_t>::max());
    ~DripReply();
    DripReply(const DripReply&) = delete;
    DripReply& operator=(const DripReply&) = delete;

    // Status 200 (unless the handler set another) and the trickle, as bytes of no particular
    // type.
    void answer(httplib::Response& response) const;
    // Replies started so far.
    std::size_t started() const;
    // Ends every reply, now and later.
    void stop();

  private:
    struct State;
    std::shared_ptr<State> state_;
    char filler_;
    double interval_;
    std::size_t length_;
};

// A local server whose answers never stop growing, to GET and POST alike: every path under
// "/endless" streams `cap` bytes of `filler` in chunks with no length, every path under "/bomb"
// sends a small gzip body that inflates to as much; `tail` follows the filler in both. Every path
// under "/drip" trickles `filler` (see DripReply).
class HostileServer {
  public:
    HostileServer(char filler, std::string tail, const std::string& contentType,
                  std::size_t cap = kHostileCap);
    ~HostileServer() { drip_.stop(); }

    std::string endlessURL(std::string_view rest = {}) const;
    std::string bombURL(std::string_view rest = {}) const;
    std::string dripURL(std::string_view rest = {}) const;
    // Filler bytes the endless answers handed to their connections.
    std::size_t endlessSent() const { return endless_.sent(); }
    std::size_t cap() const { return endless_.cap(); }

  private:
    EndlessReply endless_;
    std::string bomb_;
    DripReply drip_;
    TestHTTPServer http_;  // last, so it stops before what its handlers use goes
};

}  // namespace testsupport
