// Pointer arrays of exactly their count, as records hold them.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace zelkor {

// Exactly one more slot per append: the arrays keep no spare capacity.
template <class T> void append(T **&slots, int &len, T *item) {
	len++;
	slots = static_cast<T **>(std::realloc(slots, sizeof(T *) * static_cast<size_t>(len)));
	slots[len - 1] = item;
}

// Gathers the items of a list being read and hands them over in one array of
// exactly their number. Appending slot by slot would copy the array once per
// item, which for a long list costs time in the square of its length. Items
// not handed over are released.
template <class T> class gathered {
	std::vector<T *> items_;
	void (*free_)(T *);

public:
	explicit gathered(void (*free)(T *)) : free_(free) {}
	gathered(const gathered &) = delete;
	gathered &operator=(const gathered &) = delete;
	~gathered() {
		for (T *item : items_)
			free_(item);
	}
	void add(T *item) { items_.push_back(item); }
	size_t size() const { return items_.size(); }
	void hand_to(T **&slots, int &len) {
		if (items_.empty())
			return;
		slots = static_cast<T **>(std::malloc(sizeof(T *) * items_.size()));
		std::copy(items_.begin(), items_.end(), slots);
		len = static_cast<int>(items_.size());
		items_.clear();
	}
};

} // namespace zelkor
