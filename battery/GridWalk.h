#pragma once
// Walking a min/max/step parameter grid: from min while x <= max; a step of
// 1 or more adds it, a step of 0 or less shifts x left by -step bits (-1
// doubles). The walk also ends where the next value could not move past x:
// an addition or shift that would leave the type's range, a shift of 32 bits
// or more, a step of 0, or a shift of a value that is not positive.
#include <cstdint>
#include <limits>

// Advances x by one step; false when the walk must end instead.
template <class T>
bool GridNext(T& x, int step) {
  static_assert(std::numeric_limits<T>::is_integer, "grids are integer");
  constexpr T top = std::numeric_limits<T>::max();
  if (step >= 1) {
    if (x > top - static_cast<T>(step)) return false;
    x = static_cast<T>(x + static_cast<T>(step));
    return true;
  }
  const int shift = -step;
  if (shift == 0 || shift >= 32 || x <= 0) return false;
  if (x > (top >> shift)) return false;
  x = static_cast<T>(x << shift);
  return true;
}

// Range over the grid, for `for (int x : Grid(min, max, step))`; a test
// with stop conditions of its own breaks out of the loop.
template <class T>
class Grid {
 public:
  Grid(T min, T max, int step) : min_(min), max_(max), step_(step) {}

  class Iterator {
   public:
    Iterator(T x, T max, int step, bool done) : x_(x), max_(max), step_(step), done_(done || x > max) {}
    T operator*() const { return x_; }
    Iterator& operator++() {
      done_ = !GridNext(x_, step_) || x_ > max_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return done_ != other.done_; }

   private:
    T x_, max_;
    int step_;
    bool done_;
  };

  Iterator begin() const { return Iterator(min_, max_, step_, false); }
  Iterator end() const { return Iterator(min_, max_, step_, true); }

 private:
  T min_, max_;
  int step_;
};

template <class T>
Grid(T, T, int) -> Grid<T>;
