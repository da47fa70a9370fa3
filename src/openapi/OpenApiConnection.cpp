// The registry of per-thread transfer handles and transaction records.
#include "OpenApiConnection.h"

#include "TavLog.h"

#include <boost/date_time/c_local_time_adjustor.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/thread/locks.hpp>

#include <memory>
#include <sstream>
#include <thread>

namespace openapi {

boost::mutex OpenApiConnection::m_globalMutex;
std::map<std::string, Travix::TravixEasy*>& OpenApiConnection::m_threadHandles =
    *new std::map<std::string, Travix::TravixEasy*>;
std::map<std::string, ThreadInfo*>& OpenApiConnection::m_threadInfoMap = *new std::map<std::string, ThreadInfo*>;
std::map<std::string, TraceInfo*>& OpenApiConnection::m_traceInfoMap = *new std::map<std::string, TraceInfo*>;
std::atomic<bool> OpenApiConnection::m_netDebug{false};

namespace {

// The text changes once a second, so each thread formats it once a second rather than for every
// request (formatting is dearer than the rest of a reused handle's bookkeeping).
std::string timeStamp() {
    thread_local time_t formatted = -1;
    thread_local std::string text;
    const time_t now = time(nullptr);
    if (now != formatted) {
        text = boost::posix_time::to_simple_string(
            boost::date_time::c_local_adjustor<boost::posix_time::ptime>::utc_to_local(
                boost::posix_time::from_time_t(now)));
        formatted = now;
    }
    return text;
}

// A thread's id text never changes, and a stream's set-up costs more than the rest of a
// connection object: each thread writes it once.
std::string currentThreadId() {
    thread_local const std::string text = [] {
        std::ostringstream out;
        out << std::this_thread::get_id();
        return out.str();
    }();
    return text;
}

void destroyHandle(Travix::TravixEasy* handle) {
    handle->reset();
    delete handle;
}

} // namespace

OpenApiConnection::OpenApiConnection() : m_threadId(currentThreadId()), m_threadInfo(nullptr) {}

OpenApiConnection::~OpenApiConnection() {
    if (!m_threadInfo)
        return;
    // The record may have been freed by removeAllHandles in another thread, so it is looked up
    // afresh instead of trusting m_threadInfo.
    boost::lock_guard<boost::mutex> global(m_globalMutex);
    auto it = m_threadInfoMap.find(m_threadId);
    if (it != m_threadInfoMap.end()) {
        boost::lock_guard<boost::mutex> flag(it->second->m_flagMutex);
        it->second->m_terminate = 0;
    }
}

ThreadInfo* OpenApiConnection::recordFor(const std::string& threadId) {
    auto it = m_threadInfoMap.find(threadId);
    if (it != m_threadInfoMap.end())
        return it->second;
    std::unique_ptr<ThreadInfo> info(new ThreadInfo);
    std::unique_ptr<TraceInfo> trace(new TraceInfo);
    m_threadInfoMap[threadId] = info.get();
    m_traceInfoMap[threadId] = trace.release();
    return info.release();
}

Travix::TravixEasy* OpenApiConnection::createHandle() {
    LOGD("Creating new travix handle [time: %s][thread: %s]", timeStamp().c_str(), m_threadId.c_str());
    std::unique_ptr<Travix::TravixEasy, void (*)(Travix::TravixEasy*)> handle(new Travix::TravixEasy,
                                                                              &destroyHandle);
    handle->Initialize();
    checkError(handle.get(), __LINE__);
    m_threadHandles[m_threadId] = handle.get();
    m_threadInfo = recordFor(m_threadId);
    boost::lock_guard<boost::mutex> flag(m_threadInfo->m_flagMutex);
    m_threadInfo->m_terminate = 0;
    return handle.release();
}

Travix::TravixEasy* OpenApiConnection::initHandle(std::string url) {
    // Another thread's removeAllHandles may have freed the record this object knew.
    auto info = m_threadInfoMap.find(m_threadId);
    m_threadInfo = info != m_threadInfoMap.end() ? info->second : nullptr;

    auto it = m_threadHandles.find(m_threadId);
    if (it == m_threadHandles.end()) {
        Travix::TravixEasy* handle = createHandle();
        configureHandle(handle, url);
        return handle;
    }
    Travix::TravixEasy* handle = it->second;
    m_threadInfo = recordFor(m_threadId);
    const char* lastUrl = nullptr;
    handle->getInfo(Travix::INFO_EFFECTIVE_URL, &lastUrl);
    checkError(handle, __LINE__);
    // No last URL says nothing about the handle's set-up: it is made anew, as for a new URL.
    if (!lastUrl || url != lastUrl) {
        removeHandle(m_threadId);
        handle = createHandle();
        configureHandle(handle, url);
        return handle;
    }
    LOGD("Reusing travix handle [time: %s][thread: %s] ", timeStamp().c_str(), m_threadId.c_str());
    return handle;
}

void OpenApiConnection::removeHandle(std::string threadId) {
    LOGD("Removing travix handle [thread: %s]", threadId.c_str());
    auto it = m_threadHandles.find(threadId);
    if (it == m_threadHandles.end())
        return;
    destroyHandle(it->second);
    m_threadHandles.erase(it);
}

void OpenApiConnection::removeThreadHandle(std::string threadId) {
    boost::lock_guard<boost::mutex> global(m_globalMutex);
    // A thread whose last request failed has a record but no handle; its record goes too, so
    // that removeAllHandles leaves nothing behind.
    auto info = m_threadInfoMap.find(threadId);
    if (m_threadHandles.find(threadId) == m_threadHandles.end() && info == m_threadInfoMap.end())
        return;
    ThreadInfo* record = info != m_threadInfoMap.end() ? info->second : nullptr;
    if (record) {
        // Lets a request running in that thread finish first.
        record->m_transactionMutex.lock();
        record->m_transactionMutex.unlock();
        m_threadInfoMap.erase(info);
    }
    removeHandle(threadId);
    auto trace = m_traceInfoMap.find(threadId);
    if (trace != m_traceInfoMap.end()) {
        delete trace->second;
        m_traceInfoMap.erase(trace);
    }
    delete record;
}

bool OpenApiConnection::terminateTransaction(std::string threadId) {
    boost::lock_guard<boost::mutex> global(m_globalMutex);
    auto it = m_threadInfoMap.find(threadId);
    if (it == m_threadInfoMap.end()) {
        SLOGW("thread %s transaction not found", threadId.c_str());
        return false;
    }
    ThreadInfo* record = it->second;
    {
        boost::lock_guard<boost::mutex> flag(record->m_flagMutex);
        record->m_terminate = 1;
    }
    // The running transfer sees the flag at its next progress call; wait until it has ended.
    boost::lock_guard<boost::mutex> transaction(record->m_transactionMutex);
    boost::lock_guard<boost::mutex> flag(record->m_flagMutex);
    record->m_terminate = 0;
    return true;
}

void OpenApiConnection::removeAllHandles() {
    std::vector<std::string> keys;
    {
        boost::lock_guard<boost::mutex> global(m_globalMutex);
        for (const auto& entry : m_threadHandles)
            keys.push_back(entry.first);
        for (const auto& entry : m_threadInfoMap)
            if (!m_threadHandles.count(entry.first))
                keys.push_back(entry.first);
    }
    for (const std::string& key : keys) {
        terminateTransaction(key);
        removeThreadHandle(key);
    }
    Travix::GlobalDeinit();
}

void OpenApiConnection::setNetDebug(bool enabled) { m_netDebug = enabled; }

OpenApiConnection::RegistrySizes OpenApiConnection::registrySizes() {
    boost::lock_guard<boost::mutex> global(m_globalMutex);
    return {m_threadHandles.size(), m_threadInfoMap.size(), m_traceInfoMap.size()};
}

} // namespace openapi
