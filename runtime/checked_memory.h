// Memory that reports its exhaustion instead of throwing.
//
// Nothing on the module's paths may throw: an exception leaving a Windows
// module can end the host's process (its DWARF unwinder may be another
// module's, and each throw leaves a thread-local key behind at unload). So
// every allocation goes to malloc, whose failure is a null pointer, and
// every container here says whether it grew. The standard containers and
// the standard operator new (even its nothrow form, which catches a throw of
// its own) are not used by the module.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

namespace korv {

// A test seam: set countdown to k and the k-th allocation from then on
// fails (and the countdown stops at 0), so that a test can reach every place
// where the module's memory runs out. At 0, as always outside such a test,
// it costs one compare of a value that never changes. Only one thread may
// count down at a time.
struct AllocationFaults {
  static inline std::atomic<std::size_t> countdown{0};
};

inline bool allocation_refused() noexcept {
  const std::size_t left = AllocationFaults::countdown.load(std::memory_order_relaxed);
  if (left == 0) [[likely]] {
    return false;
  }
  AllocationFaults::countdown.store(left - 1, std::memory_order_relaxed);
  return left == 1;
}

// malloc, realloc and calloc, as every allocation of the module makes them.
inline void *allocate_block(std::size_t size) noexcept {
  return allocation_refused() ? nullptr : std::malloc(size);
}
inline void *resize_block(void *block, std::size_t size) noexcept {
  return allocation_refused() ? nullptr : std::realloc(block, size);
}
inline void *allocate_zeroed(std::size_t count, std::size_t size) noexcept {
  return allocation_refused() ? nullptr : std::calloc(count, size);
}

// Gives a class an operator new that returns null when memory runs out (a
// new-expression then constructs nothing and yields null), and the matching
// delete: such objects are made with new, std::make_unique or the like and
// must be checked for null.
struct NoThrowNew {
  static void *operator new(std::size_t size) noexcept { return allocate_block(size); }
  static void operator delete(void *block) noexcept { std::free(block); }
  static void *operator new[](std::size_t size) noexcept { return allocate_block(size); }
  static void operator delete[](void *block) noexcept { std::free(block); }
};

// A growable array like std::vector, of elements that move without
// throwing, whose every growth returns false (leaving the array as it was)
// when memory or the size's range runs out.
template <class T>
class Array {
 public:
  Array() = default;
  Array(Array &&other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  Array &operator=(Array &&other) noexcept {
    if (this != &other) {
      reset();
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }
  Array(const Array &) = delete;
  Array &operator=(const Array &) = delete;
  ~Array() { reset(); }

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  T *data() { return data_; }
  const T *data() const { return data_; }
  T &operator[](std::size_t i) { return data_[i]; }
  const T &operator[](std::size_t i) const { return data_[i]; }
  T &back() { return data_[size_ - 1]; }
  const T &back() const { return data_[size_ - 1]; }
  T *begin() { return data_; }
  T *end() { return data_ + size_; }
  const T *begin() const { return data_; }
  const T *end() const { return data_ + size_; }

  // Room for count elements in all, without further allocation.
  [[nodiscard]] bool reserve(std::size_t count) { return count <= capacity_ || reallocate(count); }

  // Room for extra more elements, growing geometrically as push_back does,
  // so that many small additions cost linear time in all.
  [[nodiscard]] bool make_room(std::size_t extra) {
    return extra <= capacity_ - size_ ||
           grow(extra > max_count() - size_ ? max_count() + 1 : size_ + extra);
  }

  [[nodiscard]] bool push_back(const T &value) {
    if (size_ == capacity_ && !grow(size_ + 1)) {
      return false;
    }
    new (data_ + size_) T(value);
    ++size_;
    return true;
  }
  // Moves value in only when there is room; it is left as it was otherwise.
  [[nodiscard]] bool push_back(T &&value) {
    if (size_ == capacity_ && !grow(size_ + 1)) {
      return false;
    }
    new (data_ + size_) T(std::move(value));
    ++size_;
    return true;
  }
  template <class... Args>
  [[nodiscard]] bool emplace_back(Args &&...args) {
    static_assert(std::is_nothrow_constructible_v<T, Args &&...>);
    if (size_ == capacity_ && !grow(size_ + 1)) {
      return false;
    }
    new (data_ + size_) T(std::forward<Args>(args)...);
    ++size_;
    return true;
  }
  // Appends [first, last), which must not lie in this array.
  [[nodiscard]] bool append(const T *first, const T *last) {
    const auto count = std::size_t(last - first);
    if (count > capacity_ - size_ && !grow(size_ + count)) {
      return false;
    }
    for (; first != last; ++first) {
      new (data_ + size_) T(*first);
      ++size_;
    }
    return true;
  }

  // count elements: those kept, then value-initialised ones.
  [[nodiscard]] bool resize(std::size_t count) {
    static_assert(std::is_nothrow_default_constructible_v<T>);
    if (count > capacity_ && !reallocate(count)) {
      return false;
    }
    truncate(count);
    for (; size_ < count; ++size_) {
      new (data_ + size_) T();
    }
    return true;
  }
  // count copies of value, in place of the contents.
  [[nodiscard]] bool assign(std::size_t count, const T &value) {
    clear();
    if (count > capacity_ && !reallocate(count)) {
      return false;
    }
    for (; size_ < count; ++size_) {
      new (data_ + size_) T(value);
    }
    return true;
  }
  // A copy of [first, last) in place of the contents.
  [[nodiscard]] bool assign(const T *first, const T *last) {
    clear();
    return append(first, last);
  }

  void pop_back() { truncate(size_ - 1); }
  // Keeps the first count elements (count <= size()).
  void truncate(std::size_t count) {
    while (size_ > count) {
      data_[--size_].~T();
    }
  }
  // Empties the array, keeping its storage.
  void clear() { truncate(0); }
  // Empties the array and frees its storage.
  void reset() {
    clear();
    std::free(data_);
    data_ = nullptr;
    capacity_ = 0;
  }
  // Hands the storage (its size in bytes to bytes) to the caller, who frees
  // it or gives it to adopt_storage; the array is left empty. For elements
  // that are plain bytes only, so that storage can pass between arrays of
  // different element types.
  void *release_storage(std::size_t &bytes) noexcept {
    static_assert(std::is_trivially_copyable_v<T>);
    clear();
    bytes = capacity_ * sizeof(T);
    capacity_ = 0;
    return std::exchange(data_, nullptr);
  }
  // Takes over storage from release_storage in place of its own, empty.
  void adopt_storage(void *block, std::size_t bytes) noexcept {
    static_assert(std::is_trivially_copyable_v<T>);
    reset();
    data_ = static_cast<T *>(block);
    capacity_ = bytes / sizeof(T);
  }

  // Gives back unused storage where memory allows; the contents stay either way.
  void shrink_to_fit() {
    if (size_ == 0) {
      reset();
    } else if (size_ < capacity_) {
      (void)reallocate(size_);
    }
  }

 private:
  bool grow(std::size_t needed) {
    const std::size_t doubled = capacity_ > max_count() / 2 ? max_count() : 2 * capacity_;
    return reallocate(needed > doubled ? needed : (doubled < 8 ? 8 : doubled));
  }
  static constexpr std::size_t max_count() {
    return std::size_t(std::numeric_limits<std::ptrdiff_t>::max()) / sizeof(T);
  }
  bool reallocate(std::size_t count) {
    static_assert(std::is_nothrow_move_constructible_v<T> && std::is_nothrow_destructible_v<T>);
    if (count > max_count() || count < size_) {
      return false;
    }
    if constexpr (std::is_trivially_copyable_v<T>) {
      void *block = resize_block(data_, count == 0 ? 1 : count * sizeof(T));
      if (block == nullptr) {
        return false;
      }
      data_ = static_cast<T *>(block);
    } else {
      T *block = static_cast<T *>(allocate_block(count == 0 ? 1 : count * sizeof(T)));
      if (block == nullptr) {
        return false;
      }
      for (std::size_t i = 0; i < size_; ++i) {
        new (block + i) T(std::move(data_[i]));
        data_[i].~T();
      }
      std::free(data_);
      data_ = block;
    }
    capacity_ = count;
    return true;
  }

  T *data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace korv
