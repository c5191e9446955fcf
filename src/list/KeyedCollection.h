#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace marrowgate {

// An ordered collection whose entries carry a unique text key and are read by
// position, counted from 1. Handed out as a shared handle, so that a reader
// keeps the entries after the producer lets go of them.
template <typename T> class KeyedCollection {
public:
    // Throws std::invalid_argument when `key` is already present.
    void Add(const std::string& key, T value) {
        auto [it, inserted] = index_.emplace(key, items_.size());
        if (!inserted) {
            throw std::invalid_argument("the key " + key + " is already in the collection");
        }
        items_.push_back(std::move(value));
    }

    // 1 <= position <= Count(); throws std::out_of_range otherwise.
    const T& Item(std::size_t position) const {
        if (position < 1 || position > items_.size()) {
            throw std::out_of_range("no entry at position " + std::to_string(position));
        }
        return items_[position - 1];
    }

    bool Contains(const std::string& key) const { return index_.count(key) != 0; }
    std::size_t Count() const { return items_.size(); }

    // Hands over the items, in order, and leaves the collection empty.
    std::vector<T> TakeItems() {
        index_ = {};
        return std::exchange(items_, {});
    }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<T> items_;
    std::unordered_map<std::string, std::size_t> index_;
};

template <typename T> using CollectionHandle = std::shared_ptr<KeyedCollection<T>>;

} // namespace marrowgate
