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
// event, as any other failure does.
#ifndef ORVO_EVENT_H_
#define ORVO_EVENT_H_

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace orvo {

template <class... Args>
class Event {
 public:
  using Handler = std::function<void(Args...)>;
  using ConnectionId = std::size_t;

  ConnectionId Connect(Handler handler) {
    m_handlers.emplace_back(++m_last_id, std::move(handler));
    return m_last_id;
  }

  void Disconnect(ConnectionId id) {
    std::erase_if(m_handlers, [id](const auto& entry) { return entry.first == id; });
  }

  bool HasHandlers() const noexcept { return !m_handlers.empty(); }

  // Raises the event. Handlers connected while raising run from the next raise on.
  void Raise(Args... args) const {
    const std::size_t count = m_handlers.size();
    for (std::size_t i = 0; i < count && i < m_handlers.size(); ++i) {
      m_handlers[i].second(args...);
    }
  }

 private:
  std::vector<std::pair<ConnectionId, Handler>> m_handlers;
  ConnectionId m_last_id = 0;
};

}  // namespace orvo

#endif  // ORVO_EVENT_H_
