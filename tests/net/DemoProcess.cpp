#include "DemoProcess.h"

#include <csignal>
#include <cstring>
#include <stdexcept>

#include <curl/curl.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace talvo::test {

namespace {
constexpr std::string_view kListening = "listening on 127.0.0.1:";

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}
} // namespace

DemoProcess::DemoProcess(std::vector<std::string> options)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");

    std::vector<std::string> args{TALVO_DEMO_SERVER, "--port", "0"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, TALVO_DEMO_SERVER, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error(std::string("cannot start the demo server: ") + std::strerror(rc));
    }
    pid_ = pid;
    reader_ = std::thread([this, fd = pipeFds[0]] { readOutput(fd); });

    std::unique_lock lock(mutex_);
    const bool ready = changed_.wait_for(lock, std::chrono::seconds(10), [this] {
        return closed_ || (!lines_.empty() && lines_.front().rfind(kListening, 0) == 0);
    });
    if (!ready || lines_.empty() || lines_.front().rfind(kListening, 0) != 0) {
        lock.unlock();
        terminate(std::chrono::seconds(1));
        throw std::runtime_error("the demo server did not report its port");
    }
    port_ = std::stoi(lines_.front().substr(kListening.size()));
}

DemoProcess::~DemoProcess()
{
    terminate();
    if (reader_.joinable())
        reader_.join();
}

void DemoProcess::readOutput(int fd)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            std::lock_guard lock(mutex_);
            lines_.push_back(pending.substr(0, newline));
            pending.erase(0, newline + 1);
            changed_.notify_all();
        }
    }
    ::close(fd);
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

std::u16string DemoProcess::host() const
{
    const std::string text = "127.0.0.1:" + std::to_string(port_);
    return std::u16string(text.begin(), text.end());
}

std::string DemoProcess::url(const std::string& target) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + target;
}

std::vector<std::string> DemoProcess::requests()
{
    std::lock_guard lock(mutex_);
    return std::vector<std::string>(lines_.begin() + (lines_.empty() ? 0 : 1), lines_.end());
}

std::vector<std::string> DemoProcess::waitForRequests(std::size_t count, std::chrono::milliseconds timeout)
{
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return closed_ || lines_.size() >= count + 1; });
    }
    return requests();
}

std::string DemoProcess::waitForRequest(const std::function<bool(const std::string&)>& match,
                                        std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    std::string found;
    changed_.wait_for(lock, timeout, [&] {
        for (std::size_t i = 1; i < lines_.size(); ++i)
            if (match(lines_[i])) {
                found = lines_[i];
                return true;
            }
        return closed_;
    });
    return found;
}

int DemoProcess::terminate(std::chrono::milliseconds grace)
{
    if (pid_ < 0 || exited_)
        return 0;
    ::kill(pid_, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    exited_ = true;
    return -1;
}

Reply fetch(const std::string& url, const std::string& postBody, bool post)
{
    Reply reply;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // The target goes out as written (newer libcurl resolves even escaped dot segments).
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 5000L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    if (post)
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, postBody.c_str());
    if (curl_easy_perform(curl) == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
        const char* type = nullptr;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
        if (type)
            reply.contentType = type;
    }
    curl_easy_cleanup(curl);
    return reply;
}

} // namespace talvo::test
