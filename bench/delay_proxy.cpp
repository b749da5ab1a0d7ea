// A TCP proxy that delays every chunk it forwards by a fixed one-way delay, to
// stand in for a slow link on loopback (the kernel here has no netem). With a
// rate it also throttles each direction to that many KiB per second, holding at
// most BUFFER bytes in flight and giving its sockets buffers of that size, so
// that a slow reader pushes back on the sender as on a thin link.
// Usage: delay_proxy LISTEN_ADDRESS LISTEN_PORT TARGET_ADDRESS TARGET_PORT DELAY_MS
//        [RATE_KIB_PER_S BUFFER]
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

struct Link {
    std::chrono::milliseconds delay{0};
    long rateKiB = 0;       // 0: no limit
    std::size_t buffer = 0;  // with a rate: bytes in flight at most
};

class DelayedPipe {
public:
    DelayedPipe(int from, int to, const Link& link) : from_(from), to_(to), link_(link) {}

    void run() {
        std::thread sender([this] { send(); });
        receive();
        sender.join();
    }

private:
    void receive() {
        std::vector<char> buffer(link_.rateKiB > 0 ? link_.buffer : 256 * 1024);
        for (;;) {
            const ssize_t n = read(from_, buffer.data(), buffer.size());
            Chunk chunk{Clock::now() + link_.delay, {}};
            if (n > 0) {
                chunk.data.assign(buffer.data(), buffer.data() + n);
            }
            {
                std::unique_lock<std::mutex> lock(mutex_);
                if (link_.rateKiB > 0) {
                    drained_.wait(lock, [this] { return queued_ < link_.buffer; });
                }
                queued_ += chunk.data.size();
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
            if (link_.rateKiB > 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(
                    static_cast<long>(chunk.data.size()) * 1000000 / (link_.rateKiB * 1024)));
            }
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
            {
                std::lock_guard<std::mutex> lock(mutex_);
                queued_ -= chunk.data.size();
            }
            drained_.notify_one();
        }
    }

    int from_;
    int to_;
    Link link_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable drained_;
    std::size_t queued_ = 0;
    std::deque<Chunk> queue_;
};

sockaddr_in address(const char* host, const char* port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(std::atoi(port)));
    inet_pton(AF_INET, host, &a.sin_addr);
    return a;
}

void tune(int fd, const Link& link) {
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (link.rateKiB > 0) {
        const int size = static_cast<int>(link.buffer);
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6 && argc != 8) {
        std::fprintf(stderr,
                     "usage: %s LISTEN_ADDRESS LISTEN_PORT TARGET_ADDRESS TARGET_PORT DELAY_MS "
                     "[RATE_KIB_PER_S BUFFER]\n",
                     argv[0]);
        return 2;
    }
    const sockaddr_in listenAt = address(argv[1], argv[2]);
    const sockaddr_in target = address(argv[3], argv[4]);
    Link link;
    link.delay = std::chrono::milliseconds(std::atoi(argv[5]));
    if (argc == 8) {
        link.rateKiB = std::atol(argv[6]);
        link.buffer = static_cast<std::size_t>(std::atol(argv[7]));
    }

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
        std::thread([client, target, link] {
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            if (connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
                close(client);
                close(server);
                return;
            }
            tune(client, link);
            tune(server, link);
            DelayedPipe up(client, server, link);
            DelayedPipe down(server, client, link);
            std::thread upThread([&up] { up.run(); });
            down.run();
            upThread.join();
            close(client);
            close(server);
        }).detach();
    }
}
