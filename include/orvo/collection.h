// The ordered, keyed collection of the public interface.
//
// Collection<T> keeps values in order, each optionally filed under a text
// key. Positions count from 1. Keys are compared without regard to letter
// case (of ASCII and Latin-1 letters, as every key of the library) and are
// unique within one collection; a value added without a key can be reached
// by position only.
//
// Cost: Item and Find by key and Item by position are constant time; adding
// at the end is amortised constant; adding before or after a position and
// removing shift the later values (linear, as with any array).
//
// Failures (orvo::Error):
//   * a position outside 1..Count(): the bounds failure (kErrOutOfBounds);
//   * Item or Remove with a key that is not there: kErrInvalidCall;
//   * Add with a key that is already there: kErrDuplicateKey.
// A failing call changes nothing.
//
// Threading: a collection belongs to one thread.
#ifndef ORVO_COLLECTION_H_
#define ORVO_COLLECTION_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "orvo/error.h"

namespace orvo {

namespace collection_detail {

// The key as compared: upper-cased by the rule every key of the library is
// compared under (ASCII and Latin-1 letters).
std::string FoldKey(std::string_view key);

[[noreturn]] inline void RaiseMissingKey() {
  RaiseFailure(kErrInvalidCall, kLibrarySource, "Invalid procedure call or argument");
}

[[noreturn]] inline void RaiseDuplicateKey() {
  RaiseFailure(kErrDuplicateKey, kLibrarySource,
               "This key is already associated with an element of this collection");
}

}  // namespace collection_detail

template <class T>
class Collection {
  struct Entry {
    T value;
    std::optional<std::string> key;  // folded
  };

 public:
  Collection() = default;
  Collection(const Collection& other) { *this = other; }
  Collection& operator=(const Collection& other) {
    if (this == &other) return *this;
    Clear();
    for (const auto& entry : other.m_entries) Insert(m_entries.size(), entry->value, entry->key);
    return *this;
  }
  Collection(Collection&&) noexcept = default;
  Collection& operator=(Collection&&) noexcept = default;

  std::int32_t Count() const noexcept { return static_cast<std::int32_t>(m_entries.size()); }

  // Appends a value, without a key or filed under `key`.
  void Add(T value) { Insert(m_entries.size(), std::move(value), std::nullopt); }
  void Add(T value, std::string_view key) { Insert(m_entries.size(), std::move(value), key); }

  // Inserts a value so that it stands just before / just after `position`.
  void AddBefore(T value, std::int32_t position, std::optional<std::string_view> key = {}) {
    Insert(IndexOf(position), std::move(value), key);
  }
  void AddAfter(T value, std::int32_t position, std::optional<std::string_view> key = {}) {
    Insert(IndexOf(position) + 1, std::move(value), key);
  }

  T& Item(std::int32_t position) { return m_entries[IndexOf(position)]->value; }
  const T& Item(std::int32_t position) const { return m_entries[IndexOf(position)]->value; }
  T& Item(std::string_view key) { return RequireKey(key)->value; }
  const T& Item(std::string_view key) const { return RequireKey(key)->value; }

  // The value filed under `key`, or null; never fails.
  T* Find(std::string_view key) {
    Entry* entry = FindEntry(key);
    return entry ? &entry->value : nullptr;
  }
  const T* Find(std::string_view key) const {
    const Entry* entry = FindEntry(key);
    return entry ? &entry->value : nullptr;
  }
  bool Contains(std::string_view key) const { return FindEntry(key) != nullptr; }

  // Puts `value` at `position` in place of the value there; the key of that
  // position, if any, now names the new value.
  void Replace(std::int32_t position, T value) {
    m_entries[IndexOf(position)]->value = std::move(value);
  }

  void Remove(std::int32_t position) { Erase(IndexOf(position)); }
  void Remove(std::string_view key) {
    const Entry* entry = RequireKey(key);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
      if (m_entries[i].get() == entry) {
        Erase(i);
        return;
      }
    }
  }

  void Clear() noexcept {
    m_by_key.clear();
    m_entries.clear();
  }

  // Iteration over the values in order.
  class const_iterator {
   public:
    using Inner = typename std::vector<std::unique_ptr<Entry>>::const_iterator;
    explicit const_iterator(Inner it) : m_it(it) {}
    const T& operator*() const { return (*m_it)->value; }
    const T* operator->() const { return &(*m_it)->value; }
    const_iterator& operator++() {
      ++m_it;
      return *this;
    }
    bool operator==(const const_iterator& other) const { return m_it == other.m_it; }

   private:
    Inner m_it;
  };
  const_iterator begin() const { return const_iterator(m_entries.begin()); }
  const_iterator end() const { return const_iterator(m_entries.end()); }

 private:
  std::size_t IndexOf(std::int32_t position) const {
    if (position < 1 || position > Count()) RaiseOutOfBounds();
    return static_cast<std::size_t>(position - 1);
  }

  Entry* FindEntry(std::string_view key) const {
    auto found = m_by_key.find(collection_detail::FoldKey(key));
    return found == m_by_key.end() ? nullptr : found->second;
  }

  Entry* RequireKey(std::string_view key) const {
    Entry* entry = FindEntry(key);
    if (!entry) collection_detail::RaiseMissingKey();
    return entry;
  }

  void Insert(std::size_t index, T value, std::optional<std::string_view> key) {
    std::optional<std::string> folded;
    if (key) {
      folded = collection_detail::FoldKey(*key);
      if (m_by_key.count(*folded)) collection_detail::RaiseDuplicateKey();
    }
    auto entry = std::make_unique<Entry>(Entry{std::move(value), folded});
    Entry* raw = entry.get();
    m_entries.insert(m_entries.begin() + static_cast<std::ptrdiff_t>(index), std::move(entry));
    if (folded) {
      try {
        m_by_key.emplace(std::move(*folded), raw);
      } catch (...) {
        m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
        throw;
      }
    }
  }

  void Erase(std::size_t index) {
    if (m_entries[index]->key) m_by_key.erase(*m_entries[index]->key);
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
  }

  std::vector<std::unique_ptr<Entry>> m_entries;
  std::unordered_map<std::string, Entry*> m_by_key;
};

}  // namespace orvo

#endif  // ORVO_COLLECTION_H_
