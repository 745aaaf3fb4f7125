#include "lookup/web.h"

#include <wininet.h>

#include <cstdlib>
#include <mutex>
#include <new>

const char kWebUserAgent[] = "OrvoCdRipper/1.2 ( https://orvo-cd-ripper.example/ )";

// The handles of the request under way (session, connection, request),
// where web_stop_now can close them from another thread.
struct WebStop {
    std::mutex lock;
    bool stopped = false;
    HINTERNET open[3] = {};
};

namespace {

// A server that accepts and never answers must not keep the user waiting
// for ever: connecting, sending and each read give up after this long.
constexpr DWORD kTimeoutMs = 15000;

void close_open_handles(WebStop* stop)
{
    for (int slot = 2; slot >= 0; --slot) {
        if (stop->open[slot]) InternetCloseHandle(stop->open[slot]);
        stop->open[slot] = nullptr;
    }
}

// Keeps a handle where web_stop_now can close it; when the request was
// stopped meanwhile, closes it at once and returns null.
HINTERNET keep_open(WebStop* stop, int slot, HINTERNET handle)
{
    std::lock_guard<std::mutex> hold(stop->lock);
    if (handle && stop->stopped) {
        InternetCloseHandle(handle);
        handle = nullptr;
        SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
    }
    stop->open[slot] = handle;
    return handle;
}

bool stopped(WebStop* stop)
{
    std::lock_guard<std::mutex> hold(stop->lock);
    return stop->stopped;
}

void set_timeouts(HINTERNET handle)
{
    DWORD timeout = kTimeoutMs;
    InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
}

DWORD status_of(HINTERNET request)
{
    DWORD status = 0, size = sizeof status;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return 0;
    return status;
}

// Reads the body up to `max_bytes`, and one byte past it to tell a body
// that goes on. False when a read fails before the body's end.
bool read_body(HINTERNET request, size_t max_bytes, WebReply* reply)
{
    char chunk[16384];
    DWORD got = 0;
    while (InternetReadFile(request, chunk, sizeof chunk, &got)) {
        if (got == 0) return true;
        size_t room = max_bytes - reply->body.size();
        reply->body.append(chunk, got < room ? got : room);
        if (got > room) return reply->too_big = true;
    }
    return false;
}

// A body shorter than its Content-Length broke off on the way (the server
// closed the connection early): no answer.
bool cut_short(HINTERNET request, const WebReply& reply)
{
    char length[32] = {};
    DWORD size = sizeof length - 1;
    if (reply.too_big || !HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr)) return false;
    if (strtoull(length, nullptr, 10) <= reply.body.size()) return false;
    SetLastError(ERROR_INTERNET_CONNECTION_RESET);
    return true;
}

// Sends the request and takes in the answer, on handles kept in `stop`.
bool send_and_read(const char* host, const char* path, bool secure, size_t max_bytes, WebReply* reply, WebStop* stop)
{
    HINTERNET internet = keep_open(stop, 0, InternetOpenA(kWebUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return false;
    set_timeouts(internet);
    INTERNET_PORT port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    HINTERNET connection = keep_open(stop, 1, InternetConnectA(internet, host, port, nullptr, nullptr,
                                                               INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return false;
    set_timeouts(connection);
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                  (secure ? INTERNET_FLAG_SECURE : 0);
    HINTERNET request = keep_open(stop, 2, HttpOpenRequestA(connection, "GET", path, nullptr, nullptr, nullptr, flags, 0));
    if (!request) return false;
    set_timeouts(request);  // not every WinINet hands them down from the session
    if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) return false;
    reply->status = status_of(request);
    return read_body(request, max_bytes, reply) && !cut_short(request, *reply);
}

}  // namespace

WebStop* web_stop_new()
{
    return new (std::nothrow) WebStop;
}

void web_stop_now(WebStop* stop)
{
    if (!stop) return;
    std::lock_guard<std::mutex> hold(stop->lock);
    stop->stopped = true;
    close_open_handles(stop);
}

void web_stop_free(WebStop* stop)
{
    delete stop;
}

bool web_get(const char* host, const char* path, bool secure, size_t max_bytes, WebReply* reply, WebStop* stop)
{
    *reply = WebReply();
    WebStop own;
    if (!stop) stop = &own;
    bool answered = !stopped(stop) && send_and_read(host, path, secure, max_bytes, reply, stop);
    DWORD error = answered ? 0 : GetLastError();
    if (!answered) reply->error = stopped(stop) ? ERROR_INTERNET_OPERATION_CANCELLED : error ? error : ERROR_INTERNET_INTERNAL_ERROR;
    std::lock_guard<std::mutex> hold(stop->lock);
    close_open_handles(stop);
    return answered;
}

// One request on its thread, shared by the thread and its caller.
struct WebFetch {
    std::string host, path;
    bool secure = false;
    size_t max_bytes = 0;
    HANDLE done = nullptr;  // set once `reply` and `answered` are final
    WebReply reply;
    bool answered = false;
    ~WebFetch()
    {
        if (done) CloseHandle(done);
    }
};

namespace {

DWORD WINAPI fetch_thread(LPVOID parameter)
{
    std::unique_ptr<std::shared_ptr<WebFetch>> holder(static_cast<std::shared_ptr<WebFetch>*>(parameter));
    WebFetch& fetch = **holder;
    fetch.answered = web_get(fetch.host.c_str(), fetch.path.c_str(), fetch.secure, fetch.max_bytes, &fetch.reply, nullptr);
    SetEvent(fetch.done);
    return 0;
}

}  // namespace

std::shared_ptr<WebFetch> web_fetch_start(const char* host, const std::string& path, bool secure, size_t max_bytes)
{
    auto fetch = std::make_shared<WebFetch>();
    fetch->host = host;
    fetch->path = path;
    fetch->secure = secure;
    fetch->max_bytes = max_bytes;
    fetch->done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!fetch->done) return nullptr;
    auto* holder = new std::shared_ptr<WebFetch>(fetch);
    HANDLE thread = CreateThread(nullptr, 0, fetch_thread, holder, 0, nullptr);
    if (!thread) {
        delete holder;
        return nullptr;
    }
    CloseHandle(thread);
    return fetch;
}

bool web_fetch_done(const std::shared_ptr<WebFetch>& fetch, DWORD ms, WebReply* reply, bool* answered)
{
    if (!fetch || WaitForSingleObject(fetch->done, ms) != WAIT_OBJECT_0) return false;
    *reply = fetch->reply;
    *answered = fetch->answered;
    return true;
}
