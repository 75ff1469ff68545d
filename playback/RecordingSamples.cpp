#include "playback/RecordingSamples.h"

#include "playback/LargeArray.h"
#include "playback/RecordingPublish.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

CRecordingSamples::~CRecordingSamples() {
    std::free(m_pData);
}

bool CRecordingSamples::Reserve(size_t n) {
    if (n <= m_nCapacity) {
        return true;
    }
    if (n > SIZE_MAX / sizeof(double)) {
        return false;
    }
    void* p = std::realloc(m_pData, n * sizeof(double));
    if (p == nullptr) {
        _EmptyRecording();
        p = std::realloc(m_pData, n * sizeof(double));
        if (p == nullptr) {
            return false;
        }
    }
    m_pData = static_cast<double*>(p);
    m_nCapacity = n;
    _AdviseLargeArray(p, n * sizeof(double));
    return true;
}

bool CRecordingSamples::Grow(size_t limit) {
    if (m_nCapacity >= limit) {
        return false;
    }
    const size_t wanted = m_nCapacity < limit / 2 ? std::max<size_t>(4096, 2 * m_nCapacity) : limit;
    return Reserve(std::min(wanted, limit));
}

double* CRecordingSamples::Release() {
    double* p = m_pData;
    m_pData = nullptr;
    m_nCapacity = 0;
    return p;
}
