// Pointer arrays of exactly their count, as records hold them.
#pragma once

#include <cstdlib>

namespace zelkor::detail {

// Exactly one more slot per append: the arrays keep no spare capacity. When
// the array cannot grow it stays as it was and the item, which the caller
// has handed over, is released with free_item: false then.
template <class T> bool append(T **&slots, int &len, T *item, void (*free_item)(T *)) {
	auto *grown = static_cast<T **>(std::realloc(slots, sizeof(T *) * (static_cast<size_t>(len) + 1)));
	if (!grown) {
		free_item(item);
		return false;
	}
	slots = grown;
	slots[len++] = item;
	return true;
}

// Gathers the items of a list being read and hands them over in one array of
// exactly their number. Appending slot by slot would copy the array once per
// item, which for a long list costs time in the square of its length, so the
// gathering array doubles and is cut to size at the end. Items not handed
// over are released.
template <class T> class gathered {
	T **items_ = nullptr;
	size_t len_ = 0;
	size_t cap_ = 0;
	void (*free_)(T *);

public:
	explicit gathered(void (*free)(T *)) : free_(free) {}
	gathered(const gathered &) = delete;
	gathered &operator=(const gathered &) = delete;
	~gathered() {
		for (size_t i = 0; i < len_; i++)
			free_(items_[i]);
		std::free(items_);
	}
	// False when out of memory: the item is released then, like the rest.
	[[nodiscard]] bool add(T *item) {
		if (len_ == cap_) {
			size_t cap = cap_ ? 2 * cap_ : 8;
			auto *grown = static_cast<T **>(std::realloc(items_, sizeof(T *) * cap));
			if (!grown) {
				free_(item);
				return false;
			}
			items_ = grown;
			cap_ = cap;
		}
		items_[len_++] = item;
		return true;
	}
	size_t size() const { return len_; }
	void hand_to(T **&slots, int &len) {
		if (!len_)
			return;
		// A cut that fails leaves the array whole, only longer than needed.
		auto *exact = static_cast<T **>(std::realloc(items_, sizeof(T *) * len_));
		slots = exact ? exact : items_;
		len = static_cast<int>(len_);
		items_ = nullptr;
		len_ = cap_ = 0;
	}
};

} // namespace zelkor::detail
