#include "writer/forward_queue.h"

#include <utility>

namespace kvt {

forwardqueue::forwardqueue(std::size_t capacity, std::size_t max_units)
    : capacity_(capacity), max_units_(max_units), ready_(::CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    if (!ready_)
        throw ::GetLastError();
    records_.reserve(capacity);
}

bool forwardqueue::push(std::unique_ptr<forwardrecord>& record) noexcept
{
    const sectionguard guard(lock_);
    // Bounded by the capacity, not by what the vector happens to hold room for: a taken
    // vector given back with more room must not let the queue grow.
    if (records_.size() >= capacity_ || records_.size() == records_.capacity() ||
        record->text.size() > max_units_ - units_)
        return false;
    units_ += record->text.size();
    records_.push_back(std::move(record));
    if (std::exchange(sleeping_, false))
        ::SetEvent(ready_.get());
    return true;
}

void forwardqueue::take_all(forwardrecords& taken) noexcept
{
    const sectionguard guard(lock_);
    records_.swap(taken);
    units_ = 0;
}

bool forwardqueue::sleep_if_empty() noexcept
{
    const sectionguard guard(lock_);
    sleeping_ = records_.empty();
    return sleeping_;
}

} // namespace kvt
