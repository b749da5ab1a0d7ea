// A TCP proxy that delays every chunk it forwards by a fixed one-way delay, to
// stand in for a slow link on loopback (the kernel here has no netem).
// Usage: delay_proxy LISTEN_ADDRESS LISTEN_PORT TARGET_ADDRESS TARGET_PORT DELAY_MS
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Chunk {
    Clock::time_point due;
    std::vector<char> data;  // empty: the source closed
};

class DelayedPipe {
public:
    DelayedPipe(int from, int to, std::chrono::milliseconds delay)
        : from_(from), to_(to), delay_(delay) {}

    void run() {
        std::thread sender([this] { send(); });
        receive();
        sender.join();
    }

private:
    void receive() {
        std::vector<char> buffer(256 * 1024);
        for (;;) {
            const ssize_t n = read(from_, buffer.data(), buffer.size());
            Chunk chunk{Clock::now() + delay_, {}};
            if (n > 0) {
                chunk.data.assign(buffer.data(), buffer.data() + n);
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                queue_.push_back(std::move(chunk));
            }
            ready_.notify_one();
            if (n <= 0) {
                return;
            }
        }
    }

    void send() {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                ready_.wait(lock, [this] { return !queue_.empty(); });
                chunk = std::move(queue_.front());
                queue_.pop_front();
            }
            std::this_thread::sleep_until(chunk.due);
            if (chunk.data.empty()) {
                shutdown(to_, SHUT_WR);
                return;
            }
            std::size_t sent = 0;
            while (sent < chunk.data.size()) {
                const ssize_t n = write(to_, chunk.data.data() + sent, chunk.data.size() - sent);
                if (n <= 0) {
                    return;
                }
                sent += static_cast<std::size_t>(n);
            }
        }
    }

    int from_;
    int to_;
    std::chrono::milliseconds delay_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Chunk> queue_;
};

sockaddr_in address(const char* host, const char* port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(std::atoi(port)));
    inet_pton(AF_INET, host, &a.sin_addr);
    return a;
}

void noDelay(int fd) {
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s LISTEN_ADDRESS LISTEN_PORT TARGET_ADDRESS TARGET_PORT DELAY_MS\n",
                     argv[0]);
        return 2;
    }
    const sockaddr_in listenAt = address(argv[1], argv[2]);
    const sockaddr_in target = address(argv[3], argv[4]);
    const std::chrono::milliseconds delay(std::atoi(argv[5]));

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(listener, reinterpret_cast<const sockaddr*>(&listenAt), sizeof listenAt) != 0 ||
        listen(listener, 64) != 0) {
        std::perror("listen");
        return 1;
    }
    for (;;) {
        const int client = accept(listener, nullptr, nullptr);
        if (client < 0) {
            continue;
        }
        std::thread([client, target, delay] {
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            if (connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
                close(client);
                close(server);
                return;
            }
            noDelay(client);
            noDelay(server);
            DelayedPipe up(client, server, delay);
            DelayedPipe down(server, client, delay);
            std::thread upThread([&up] { up.run(); });
            down.run();
            upThread.join();
            close(client);
            close(server);
        }).detach();
    }
}
