#pragma once

#include <cstddef>

// A malloc'd array of samples being filled by a loader, handed to the playback buffer when complete.
class CRecordingSamples {
public:
    CRecordingSamples() = default;
    ~CRecordingSamples();
    CRecordingSamples(const CRecordingSamples&) = delete;
    CRecordingSamples& operator=(const CRecordingSamples&) = delete;

    // Room for at least n samples (n > capacity). When memory is short, the loaded recording is released
    // (it would be replaced anyway) and the allocation tried once more. False when it still fails.
    bool Reserve(size_t n);
    // Room for one more sample: doubles the capacity, never beyond limit. False at limit or without memory.
    bool Grow(size_t limit);

    double* Data() { return m_pData; }
    size_t Capacity() const { return m_nCapacity; }
    // Hands the array over; the object is empty afterwards.
    double* Release();

private:
    double* m_pData = nullptr;
    size_t m_nCapacity = 0;
};
