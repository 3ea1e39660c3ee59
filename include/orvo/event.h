// Outgoing events of the public classes.
//
// A class exposes each event as a public Event member; a host subscribes with
// Connect and unsubscribes with Disconnect:
//
//   orvo::cParser parser;
//   auto id = parser.CellItemFound.Connect(
//       [](const std::string& type, std::string& item) { ... });
//
// Handlers run synchronously on the raising thread, in the order connected.
// An orvo::Error thrown by a handler propagates to the member that raised the
// event, as any other failure does; the handlers after it are not called in
// that raise.
//
// Re-entrancy: a handler may connect and disconnect handlers (itself
// included) and raise the same event again while it is being raised.
//   * A handler disconnected during a raise is not called afterwards in that
//     raise (nor in any raise still running further up the stack); its
//     callable is destroyed once the outermost raise has returned, so a
//     handler that disconnects itself keeps running safely to its end.
//   * A handler connected during a raise is not called by the raises already
//     running; it is first called by the next raise that starts (a nested
//     raise from inside a handler counts as such).
//   * Every other handler is called exactly once per raise, in order:
//     disconnecting one handler never makes a raise skip another.
// The Event itself must outlive every raise of it.
#ifndef ORVO_EVENT_H_
#define ORVO_EVENT_H_

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace orvo {

template <class... Args>
class Event {
 public:
  using Handler = std::function<void(Args...)>;
  using ConnectionId = std::size_t;

  Event() = default;
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // Adds a handler after the ones connected so far; its id is never reused
  // by this event. An empty handler is never called.
  ConnectionId Connect(Handler handler) {
    m_connections.push_back(std::make_unique<Connection>(++m_last_id, std::move(handler)));
    ++m_connected;
    return m_last_id;
  }

  // Removes the handler of that id; an id not connected (or already
  // disconnected) is ignored.
  void Disconnect(ConnectionId id) {
    auto found = std::find_if(m_connections.begin(), m_connections.end(),
                              [id](const auto& entry) { return entry->id == id; });
    if (found == m_connections.end() || !(*found)->connected) return;
    (*found)->connected = false;
    --m_connected;
    // While raising, entries stay in place (raises hold positions and may be
    // running the handler); the outermost raise removes them at its end.
    if (m_raise_depth == 0) m_connections.erase(found);
  }

  bool HasHandlers() const noexcept { return m_connected > 0; }

  // Raises the event: calls the handlers connected when the raise starts.
  void Raise(Args... args) const {
    RaiseScope scope(*this);
    // Connections are heap entries, so an entry stays put when a handler
    // connects another one and the vector grows; none is erased while raising.
    const std::size_t count = m_connections.size();
    for (std::size_t i = 0; i < count; ++i) {
      Connection& entry = *m_connections[i];
      if (entry.connected && entry.handler) entry.handler(args...);
    }
  }

 private:
  struct Connection {
    Connection(ConnectionId connection_id, Handler callable)
        : id(connection_id), handler(std::move(callable)) {}
    ConnectionId id;
    Handler handler;
    bool connected = true;
  };

  // Counts nested raises; the outermost one drops the entries disconnected
  // meanwhile, also when a handler's failure ends the raise.
  class RaiseScope {
   public:
    explicit RaiseScope(const Event& event) : m_event(event) { ++m_event.m_raise_depth; }
    RaiseScope(const RaiseScope&) = delete;
    RaiseScope& operator=(const RaiseScope&) = delete;
    ~RaiseScope() {
      if (--m_event.m_raise_depth == 0 && m_event.m_connected != m_event.m_connections.size()) {
        std::erase_if(m_event.m_connections, [](const auto& entry) { return !entry->connected; });
      }
    }

   private:
    const Event& m_event;
  };

  // Raise is const for the raising class's const members; the bookkeeping of
  // disconnections during a raise is not part of the event's observable state.
  mutable std::vector<std::unique_ptr<Connection>> m_connections;
  std::size_t m_connected = 0;
  mutable std::size_t m_raise_depth = 0;
  ConnectionId m_last_id = 0;
};

}  // namespace orvo

#endif  // ORVO_EVENT_H_
