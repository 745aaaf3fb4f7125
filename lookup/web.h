// Requests to web services (MusicBrainz, the Cover Art Archive, and later
// others) through the system's internet settings.
#pragma once
#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

// "OrvoCdRipper/1.2 ( https://orvo-cd-ripper.example/ )"
extern const char kWebUserAgent[];

struct WebReply {
    DWORD status = 0;       // the HTTP status of the last answer (after redirects); 0: none came
    std::string body;       // at most the `max_bytes` asked for
    bool too_big = false;   // the body went on past `max_bytes` (then `body` is not the answer)
    DWORD error = 0;        // the system's error when no answer came (no network, time-out, certificate)
};

// Lets another thread end a request at once (closing its handles), e.g.
// when the program closes. One per worker; reusable. (Where the system
// cannot cut a network wait short, as under Wine, the request itself
// still ends at its time-out: never wait for it; the process may exit.)
struct WebStop;
WebStop* web_stop_new();
void web_stop_now(WebStop* stop);   // from any thread; later requests fail at once
void web_stop_free(WebStop* stop);

// GET https://host/path (http:// when `secure` is false), redirects followed,
// with kWebUserAgent, 15 s time-outs for connecting and each read. True when
// an answer with a status came (any status); false when none did (`error`).
// A body that breaks off (a failed read, fewer bytes than its
// Content-Length, the stop) is no answer either.
bool web_get(const char* host, const char* path, bool secure, size_t max_bytes, WebReply* reply, WebStop* stop);

// The same GET on a thread of its own, for a caller that must not wait
// past its own limits (the end of a rip, an Abort): the request may outlive
// it. Null when no thread could be started.
struct WebFetch;
std::shared_ptr<WebFetch> web_fetch_start(const char* host, const std::string& path, bool secure, size_t max_bytes);
// Whether the request has ended within `ms`; then `reply` holds what came
// and the result is web_get's in `answered`.
bool web_fetch_done(const std::shared_ptr<WebFetch>& fetch, DWORD ms, WebReply* reply, bool* answered);
