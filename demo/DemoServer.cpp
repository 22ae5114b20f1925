#include "demo/DemoServer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <httplib.h>

#include "demo/WebAssets.h"
#include "demo/server/Server.h"

namespace talvo::demo {

namespace {

using std::chrono::milliseconds;

constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kHtml = "text/html; charset=utf-8";

// A held ("silent") request gives up after this long even if nobody stops the server.
constexpr milliseconds kLongestHold{120000};
// The huge contact answer: comfortably over the client's 16 MiB cap.
constexpr std::size_t kHugeBodyBytes = (16u << 20) + (1u << 20);

struct Member {
    std::string_view code;
    std::string_view contact;
};
constexpr Member kMembers[] = {
    {"qv1", "contact:王芳 tel:010-62345678 qq:84512367 mobilephone:13912345678"},
    {"test", "contact:李明 tel:021-55501234 qq:10293847 mobilephone:13800138000"},
};

const Member* findMember(std::string_view code)
{
    for (const Member& member : kMembers)
        if (member.code == code)
            return &member;
    return nullptr;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string contentType(std::string_view name)
{
    const auto ends = [name](std::string_view suffix) {
        return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
    };
    if (ends(".html"))
        return kHtml;
    if (ends(".css"))
        return "text/css; charset=utf-8";
    if (ends(".js"))
        return "text/javascript; charset=utf-8";
    if (ends(".svg"))
        return "image/svg+xml";
    return "application/octet-stream";
}

// Adds invalid UTF-8 to a body: a stray byte, a lead byte without its continuation,
// and a sequence cut short at the end.
std::string withInvalidUtf8(const std::string& body) { return body + " \xFF\xC3(\xE4\xB8"; }

} // namespace

std::string queryValue(std::string_view target, std::string_view key)
{
    const auto question = target.find('?');
    if (question == std::string_view::npos)
        return {};
    std::string_view query = target.substr(question + 1);
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const auto equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == key)
            return percentDecode(pair.substr(equals + 1));
        if (amp == std::string_view::npos)
            break;
        query.remove_prefix(amp + 1);
    }
    return {};
}

std::string editionName(std::string_view cp)
{
    if (cp == "1")
        return "Alderan";
    if (cp == "9")
        return "Birsel";
    if (cp == "0")
        return "Cedrow";
    return "未知版本";
}

std::string htmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

struct DemoServer::Impl {
    DemoOptions options;
    std::FILE* log;
    std::unique_ptr<httplib::Server> server = makeServer();
    int port = -1;

    std::mutex logMutex;
    std::mutex mutex; // guards stopping, titles
    std::condition_variable wake;
    bool stopping = false;
    std::deque<std::string> titles;
    std::map<std::string, std::deque<std::string>> actions; // per page name
    std::atomic<int> rememberTokens{0};
    std::atomic<int> checkCodeRequests{0};

    // The web application's own listener (--app-switch) and the HTTPS one (--tls-cert).
    std::mutex appMutex; // guards app, appThread
    std::unique_ptr<httplib::Server> app;
    std::thread appThread;
    int appPort = -1;
    std::unique_ptr<httplib::SSLServer> tls;
    std::thread tlsThread;
    int tlsPort = -1;

    Impl(DemoOptions o, std::FILE* f) : options(o), log(f) { }

    ~Impl()
    {
        stopApp();
        if (tls)
            tls->stop();
        if (tlsThread.joinable())
            tlsThread.join();
    }

    void configure(httplib::Server& target, bool secure)
    {
        // Pages keep connections alive and silent requests hold theirs: more workers than
        // the library's default so neither starves the other.
        target.new_task_queue = [] { return new httplib::ThreadPool(32); };
        target.set_keep_alive_timeout(2);
        target.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
            logRequest(request);
            return httplib::Server::HandlerResponse::Unhandled;
        });
        const auto handler = [this, secure](const httplib::Request& request, httplib::Response& response) {
            route(request, response, secure);
        };
        target.Get(".*", handler);
        target.Post(".*", handler);
    }

    // Starts the application's listener on appPort (a free port the first time).
    bool startApp()
    {
        std::lock_guard lock(appMutex);
        if (app)
            return true;
        auto server = makeServer();
        configure(*server, false);
        if (appPort < 0)
            appPort = server->bind_to_any_port("127.0.0.1");
        else if (!server->bind_to_port("127.0.0.1", appPort))
            return false;
        if (appPort < 0)
            return false;
        app = std::move(server);
        appThread = std::thread([s = app.get()] { s->listen_after_bind(); });
        return true;
    }

    // Stops it: connections to its port are refused until startApp().
    void stopApp()
    {
        std::lock_guard lock(appMutex);
        if (!app)
            return;
        app->stop();
        if (appThread.joinable())
            appThread.join();
        app.reset();
    }

    void logRequest(const httplib::Request& request)
    {
        if (request.path == "/demo/next-title" || request.path == "/demo/next-action")
            return; // polled five times a second by every open page
        std::lock_guard lock(logMutex);
        std::fprintf(log, "%s %s\n", request.method.c_str(), receivedTarget(request).c_str());
        // What the browser sent along, so tests can see whose session a request carries.
        if (request.has_header("Cookie"))
            std::fprintf(log, "COOKIE %s %s\n", request.path.c_str(), request.get_header_value("Cookie").c_str());
        std::fflush(log);
    }

    // Waits up to duration; false when the server is stopping.
    bool pause(milliseconds duration)
    {
        std::unique_lock lock(mutex);
        return !wake.wait_for(lock, duration, [this] { return stopping; });
    }

    bool isStopping()
    {
        std::lock_guard lock(mutex);
        return stopping;
    }

    void stop()
    {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        server->stop();
    }

    // ---- the three services ----

    std::string checkCode()
    {
        const int n = checkCodeRequests.fetch_add(1);
        if (n < options.shortCheckCodes)
            return "err";
        // Eight characters that change from request to request; nobody reads them.
        static constexpr char kAlphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
        std::uint32_t x = 0x9E3779B9u * static_cast<std::uint32_t>(n + 1);
        std::string code;
        for (int i = 0; i < 8; ++i) {
            x ^= x >> 13;
            x *= 0x5BD1E995u;
            code.push_back(kAlphabet[x % 32]);
        }
        return code;
    }

    std::string visitUrl(const httplib::Request& request)
    {
        const std::string member = queryValue(receivedTarget(request), "member");
        if (options.noAddress || !findMember(member))
            return "mireth_url:null";
        const std::string host = options.publicHost.empty() ? "127.0.0.1" : options.publicHost;
        return "mireth_url:" + host + ":" + std::to_string(options.appSwitch ? appPort : port);
    }

    std::string contact(const httplib::Request& request)
    {
        const Member* member = findMember(queryValue(receivedTarget(request), "memberid"));
        if (!member)
            return "null";
        std::string answer(member->contact);
        // A member with a long list of contacts, on one line.
        while (options.longContact && answer.size() < 4000)
            answer += " " + std::string(member->contact);
        return answer;
    }

    void answerService(std::string body, bool isContact, httplib::Response& response)
    {
        response.set_header("Cache-Control", "no-store");
        if (options.lineEnds)
            body += "\r\n";
        if (options.delay.count() > 0 && !pause(options.delay)) {
            response.status = 503;
            return;
        }
        if (options.silent) {
            pause(kLongestHold);
            response.status = 503;
            return;
        }
        if (options.notFound) {
            response.status = 404;
            response.set_content(notFoundPage(), kHtml);
            return;
        }
        if (options.invalidUtf8)
            body = withInvalidUtf8(body);
        if (options.hugeBody && isContact) {
            response.set_chunked_content_provider(kText, [this](std::size_t offset, httplib::DataSink& sink) {
                if (isStopping())
                    return false;
                if (offset >= kHugeBodyBytes) {
                    sink.done();
                    return true;
                }
                static const std::string block = [] {
                    std::string line = "contact:王芳 tel:010-62345678 qq:84512367 mobilephone:13912345678\n";
                    std::string out;
                    while (out.size() < 64 * 1024)
                        out += line;
                    return out;
                }();
                return sink.write(block.data(), block.size());
            });
            return;
        }
        if (options.drip.count() > 0 || options.closeMidBody) {
            auto shared = std::make_shared<const std::string>(std::move(body));
            const std::size_t limit = options.closeMidBody ? shared->size() / 2 : shared->size();
            const milliseconds drip = options.drip;
            response.set_content_provider(
                shared->size(), kText,
                [this, shared, limit, drip](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    if (offset >= limit)
                        return false; // closes the connection short of the announced length
                    if (drip.count() == 0)
                        return sink.write(shared->data() + offset, limit - offset);
                    if (offset > 0 && !pause(drip))
                        return false;
                    return sink.write(shared->data() + offset, 1);
                });
            return;
        }
        response.set_content(body, kText);
    }

    // ---- pages ----

    // Asks for what a page may want of the computer (MIDI too) and reports each answer to /demo/report.
    // A click on the button copies a text both ways a page can; a click on the video below
    // asks for full screen for that video, as a player's full-screen control does.
    static std::string permissionProbePage()
    {
        return R"HTML(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8"><title>权限测试</title>
<style>html,body{margin:0;height:100%}button{width:100%;height:50%;font-size:24px}
video{display:block;width:100%;height:50%;background:#234}</style></head>
<body><button id="go">复制</button><video id="clip" muted playsinline></video>
<script>
function report(what, answer) {
  fetch('/demo/report?' + what + '=' + encodeURIComponent(answer), { cache: 'no-store' });
}
Notification.requestPermission().then(function (a) { report('notifications', a); });
navigator.geolocation.getCurrentPosition(function () { report('geolocation', 'granted'); },
                                         function (e) { report('geolocation', 'denied-' + e.code); });
if (navigator.mediaDevices) {
  navigator.mediaDevices.getUserMedia({ video: true, audio: true })
    .then(function () { report('camera', 'granted'); }, function (e) { report('camera', 'denied-' + e.name); });
} else {
  report('camera', 'unavailable');
}
if (navigator.requestMIDIAccess) {
  navigator.requestMIDIAccess({ sysex: true })
    .then(function () { report('midi', 'granted'); }, function (e) { report('midi', 'denied-' + e.name); });
} else {
  report('midi', 'unavailable');
}
document.addEventListener('fullscreenchange', function () {
  var element = document.fullscreenElement;
  report('fullscreen', element ? 'on-' + element.tagName.toLowerCase() : 'off');
});
document.getElementById('go').addEventListener('click', function () {
  var field = document.createElement('textarea');
  field.value = 'talvo-clipboard';
  document.body.appendChild(field);
  field.select();
  report('copy', document.execCommand('copy') ? 'ok' : 'refused');
  document.body.removeChild(field);
  if (!navigator.clipboard) {
    report('async-copy', 'unavailable');
    return;
  }
  navigator.clipboard.writeText('talvo-async-clipboard')
    .then(function () { report('async-copy', 'ok'); }, function (e) { report('async-copy', 'refused-' + e.name); })
    .then(function () { return navigator.clipboard.readText(); })
    .then(function (text) { report('paste', 'read-' + text); }, function (e) { report('paste', 'refused-' + e.name); });
});
document.getElementById('clip').addEventListener('click', function () {
  this.requestFullscreen().catch(function (e) { report('fullscreen', 'refused-' + e.name); });
});
</script></body></html>
)HTML";
    }

    static std::string customerName(std::string_view id)
    {
        if (id == "7")
            return "北京华信科技有限公司";
        if (id == "8")
            return "上海启明贸易有限公司";
        return "客户 " + std::string(id);
    }

    static std::string assetText(std::string_view name)
    {
        const auto data = webAsset(name);
        return data ? std::string(*data) : std::string();
    }

    // The customer list as a CSV attachment named 客户名单.csv. "size=big" streams about
    // 4 MiB over some 8 seconds; "fail=1" announces 1 MiB, sends a quarter and hangs up;
    // "form=quoted" writes the extended name into the plain parameter, as some servers do.
    void exportCustomers(const httplib::Request& request, httplib::Response& response)
    {
        const std::string target = receivedTarget(request);
        const std::string size = queryValue(target, "size");
        const bool fail = queryValue(target, "fail") == "1";
        static const std::string kEncodedName = "%E5%AE%A2%E6%88%B7%E5%90%8D%E5%8D%95"; // 客户名单
        std::string disposition = "attachment; filename=\"customers.csv\"; filename*=UTF-8''" + kEncodedName + ".csv";
        if (queryValue(target, "form") == "quoted")
            disposition = "attachment; filename=\"UTF-8''" + kEncodedName + ".csv\"";
        response.set_header("Content-Disposition", disposition);
        response.set_header("Cache-Control", "no-store");
        static const std::string header = "\xEF\xBB\xBF客户,联系人,电话\n";
        static const std::string row =
            "北京华信科技有限公司,张伟,010-82561234\n上海启明贸易有限公司,刘洋,021-63218877\n";
        if (size != "big" && !fail) {
            response.set_content(header + row, "text/csv; charset=utf-8");
            return;
        }
        const std::size_t total = fail ? (1u << 20) : (4u << 20);
        const std::size_t stop = fail ? total / 4 : total;
        constexpr std::size_t kChunk = 64 * 1024;
        const milliseconds pace = fail ? milliseconds(50) : milliseconds(125);
        auto block = std::make_shared<std::string>();
        while (block->size() < kChunk)
            *block += row;
        block->resize(kChunk);
        response.set_content_provider(
            total, "text/csv; charset=utf-8",
            [this, block, stop, pace](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                if (offset >= stop)
                    return false; // hangs up short of the announced length
                if (offset > 0 && !pause(pace))
                    return false;
                const std::size_t count = std::min({kChunk, length, stop - offset});
                return sink.write(block->data(), count);
            });
    }

    // A one-page contract, written out object by object with its byte offsets.
    static std::string contractPdf()
    {
        const std::string text = "BT /F1 20 Tf 72 770 Td (Contract ZT-2026-0017) Tj ET\n"
                                 "BT /F1 12 Tf 72 730 Td (Served by the application server) Tj ET";
        const std::string objects[] = {
            "<< /Type /Catalog /Pages 2 0 R >>",
            "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
            "/Resources << /Font << /F1 5 0 R >> >> >>",
            "<< /Length " + std::to_string(text.size()) + " >>\nstream\n" + text + "\nendstream",
            "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        };
        std::string out = "%PDF-1.4\n";
        std::vector<std::size_t> offsets;
        for (std::size_t i = 0; i < std::size(objects); ++i) {
            offsets.push_back(out.size());
            out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
        }
        const std::size_t xref = out.size();
        out += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
        for (const std::size_t at : offsets) {
            char line[32];
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", at);
            out += line;
        }
        out += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
            + std::to_string(xref) + "\n%%EOF\n";
        return out;
    }

    static std::string notFoundPage()
    {
        const auto page = webAsset("404.html");
        return page ? std::string(*page) : std::string("<!DOCTYPE html><title>404</title>");
    }

    bool servePage(std::string_view asset, const httplib::Request& request, httplib::Response& response)
    {
        const auto data = webAsset(asset);
        if (!data)
            return false;
        std::string text(*data);
        if (asset == "login.html" || asset == "home.html") {
            const std::string cp = queryValue(receivedTarget(request), "cp");
            text = replaceAll(std::move(text), "{{EDITION}}", htmlEscape(editionName(cp)));
            text = replaceAll(std::move(text), "{{CP}}", htmlEscape(cp));
            text = replaceAll(std::move(text), "{{AUTO_SIGN_IN}}", options.autoSignIn ? "1" : "0");
        }
        if (asset == "customer.html") {
            const std::string id = queryValue(receivedTarget(request), "id");
            text = replaceAll(std::move(text), "{{CUSTOMER}}", htmlEscape(customerName(id)));
        }
        response.set_header("Cache-Control", "no-store");
        response.set_content(text, contentType(asset).c_str());
        return true;
    }

    void route(const httplib::Request& request, httplib::Response& response, bool secure)
    {
        // The path as sent: newer releases of the HTTP library resolve dot segments themselves.
        const std::string target = receivedTarget(request);
        const std::string path = percentDecode(std::string_view(target).substr(0, target.find('?')));
        if (path == "/soft!code.action")
            return answerService(checkCode(), false, response);
        if (path == "/softcheck!geturl.action")
            return answerService(visitUrl(request), false, response);
        if (path == "/softcheck!contact.action")
            return answerService(contact(request), true, response);

        if (path == "/demo/push-title") {
            const std::string text = queryValue(receivedTarget(request), "text");
            {
                std::lock_guard lock(mutex);
                titles.push_back(text);
            }
            response.set_content("queued\n", kText);
            return;
        }
        if (path == "/demo/next-title") {
            response.set_header("Cache-Control", "no-store");
            std::lock_guard lock(mutex);
            if (titles.empty()) {
                response.status = 204;
                return;
            }
            response.set_content(titles.front(), kText);
            titles.pop_front();
            return;
        }
        if (path == "/demo/push-action" || path == "/demo/next-action") {
            const std::string target = receivedTarget(request);
            const std::string page = queryValue(target, "page");
            response.set_header("Cache-Control", "no-store");
            std::lock_guard lock(mutex);
            auto& queue = actions[page];
            if (path == "/demo/push-action") {
                queue.push_back(queryValue(target, "name"));
                response.set_content("queued\n", kText);
            } else if (queue.empty()) {
                response.status = 204;
            } else {
                response.set_content(queue.front(), kText);
                queue.pop_front();
            }
            return;
        }
        if (path == "/demo/report") {
            response.set_header("Cache-Control", "no-store");
            response.status = 204;
            return;
        }
        if (path == "/demo/export")
            return exportCustomers(request, response);
        if (path == "/demo/contract.pdf") {
            response.set_header("Cache-Control", "no-store");
            response.set_header("Content-Disposition", "inline; filename=\"contract.pdf\"");
            response.set_content(contractPdf(), "application/pdf");
            return;
        }
        if (path == "/demo/redirect") {
            // As single sign-on does: the application sends the browser to another site.
            const std::string to = queryValue(receivedTarget(request), "to");
            if (to.rfind("http://", 0) != 0 && to.rfind("https://", 0) != 0) {
                response.status = 400;
                response.set_content("to= must be an http(s) address\n", kText);
                return;
            }
            response.set_redirect(to);
            return;
        }
        if (path == "/demo/remember") {
            // One cookie for 30 days, one for this browser session only.
            const int token = ++rememberTokens;
            response.set_header("Cache-Control", "no-store");
            response.set_header("Set-Cookie", "remember=r" + std::to_string(token) + "; Max-Age=2592000; Path=/");
            response.headers.emplace("Set-Cookie", "visit=v" + std::to_string(token) + "; Path=/");
            response.set_content("remembered\n", kText);
            return;
        }
        if (path == "/demo/protected") {
            response.status = 401;
            response.set_header("WWW-Authenticate", "Basic realm=\"Zentarro\"");
            response.set_content(assetText("401.html"), kHtml);
            return;
        }
        if (path == "/demo/leave" && request.method == "POST") {
            response.set_content("ok\n", kText);
            return;
        }

        if (path == "/demo/app-down" || path == "/demo/app-up") {
            if (!options.appSwitch) {
                response.status = 404;
                response.set_content("no --app-switch\n", kText);
                return;
            }
            // From a listener of its own: the application's cannot stop itself from inside.
            const bool up = path == "/demo/app-up";
            const bool ok = up ? startApp() : (stopApp(), true);
            response.status = ok ? 200 : 500;
            response.set_content(ok ? (up ? "up\n" : "down\n") : "cannot listen again\n", kText);
            return;
        }
        if (path == "/ui/common/login.jsp" && options.permissionProbe) {
            response.set_redirect("/demo/permissions");
            return;
        }
        if (path == "/demo/permissions") {
            response.set_header("Cache-Control", "no-store");
            response.set_content(permissionProbePage(), kHtml);
            return;
        }
        if (path == "/ui/common/login.jsp" && options.loginOverTls && !secure && tlsPort > 0) {
            response.set_redirect("https://127.0.0.1:" + std::to_string(tlsPort) + receivedTarget(request));
            return;
        }

        if (path == "/" && servePage("index.html", request, response))
            return;
        if (path == "/ui/common/login.jsp" && servePage("login.html", request, response))
            return;
        if (path == "/ui/common/home.jsp" && servePage("home.html", request, response))
            return;
        if (path == "/leave.html" && servePage("leave.html", request, response))
            return;
        if (path == "/ui/common/tools.jsp" && servePage("tools.html", request, response))
            return;
        if (path == "/ui/common/customer.jsp" && servePage("customer.html", request, response))
            return;
        if (path == "/ui/common/trust.jsp" && servePage("trust.html", request, response))
            return;
        if (path == "/ui/common/chat.jsp" && servePage("chat.html", request, response))
            return;
        if (path == "/ui/common/soak.jsp" && servePage("soak.html", request, response))
            return;
        if (path == "/ui/common/upload.jsp" && servePage("upload.html", request, response))
            return;
        if (path == "/ui/common/printclose.jsp" && servePage("printclose.html", request, response))
            return;
        // Pages of "another site": the tests reach them under a second host name.
        if (path == "/site/frame" && servePage("frame.html", request, response))
            return;
        if (path == "/site/foreign" && servePage("foreign.html", request, response))
            return;
        static constexpr std::string_view kStatic = "/ui/static/";
        if (path.rfind(kStatic, 0) == 0) {
            const std::string name = path.substr(kStatic.size());
            if (name.find('/') == std::string::npos && name.find(".html") == std::string::npos
                && servePage(name, request, response))
                return;
        }
        response.status = 404;
        response.set_content(notFoundPage(), kHtml);
    }
};

DemoServer::DemoServer(DemoOptions options, std::FILE* log) : impl_(std::make_unique<Impl>(options, log))
{
    impl_->configure(*impl_->server, false);
}

DemoServer::~DemoServer() = default;

int DemoServer::bind()
{
    Impl& impl = *impl_;
    if (impl.options.port == 0)
        impl.port = impl.server->bind_to_any_port("127.0.0.1");
    else
        impl.port = impl.server->bind_to_port("127.0.0.1", impl.options.port) ? impl.options.port : -1;
    if (impl.port < 0)
        return -1;
    if (impl.options.appSwitch && !impl.startApp())
        return -1;
    if (!impl.options.tlsCert.empty()) {
        impl.tls = std::make_unique<httplib::SSLServer>(impl.options.tlsCert.c_str(), impl.options.tlsKey.c_str());
        if (!impl.tls->is_valid())
            return -1;
        impl.configure(*impl.tls, true);
        impl.tlsPort = impl.tls->bind_to_any_port("127.0.0.1");
        if (impl.tlsPort < 0)
            return -1;
        impl.tlsThread = std::thread([s = impl.tls.get()] { s->listen_after_bind(); });
    }
    return impl.port;
}

bool DemoServer::serve()
{
    if (impl_->port < 0)
        return false;
    return impl_->server->listen_after_bind() || impl_->isStopping();
}

void DemoServer::stop()
{
    impl_->stop();
    impl_->stopApp();
    if (impl_->tls)
        impl_->tls->stop();
}

int DemoServer::appPort() const { return impl_->appPort; }

int DemoServer::tlsPort() const { return impl_->tlsPort; }

} // namespace talvo::demo
