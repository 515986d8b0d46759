#include "support/unix_connection.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "util/unix_socket.h"

namespace quillbrook::test_support {

UnixConnection::UnixConnection(const std::string& path) : fd_(connectUnixSocket(path)) {
    if (!fd_.valid()) {
        throw std::runtime_error("cannot connect to " + path + ": " + std::strerror(errno));
    }
}

void UnixConnection::send(std::string_view bytes) {
    if (!trySend(bytes)) {
        throw std::runtime_error(std::string("the peer stopped reading: ") + std::strerror(errno));
    }
}

bool UnixConnection::trySend(std::string_view bytes) { return sendAll(fd_.get(), bytes); }

void UnixConnection::endSending() { ::shutdown(fd_.get(), SHUT_WR); }

std::string UnixConnection::readLine() {
    std::string line;
    char c;
    while (::read(fd_.get(), &c, 1) == 1 && c != '\n') {
        line.push_back(c);
    }
    return line;
}

bool UnixConnection::readable() const {
    pollfd wanted{fd_.get(), POLLIN, 0};
    return ::poll(&wanted, 1, 0) > 0;
}

std::string roundTrip(const std::string& socketPath, const std::string& bytes) {
    UnixConnection connection(socketPath);
    connection.trySend(bytes);  // the peer may answer before it has read everything
    return connection.readLine();
}

bool acceptsConnections(const std::string& path) { return connectUnixSocket(path).valid(); }

void leaveStaleSocket(const std::string& path) {
    UniqueFd fd = newUnixSocket();
    auto address = unixAddress(path);
    if (!fd.valid() || !address ||
        ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        throw std::runtime_error("cannot leave a socket file at " + path + ": " + std::strerror(errno));
    }
}

}  // namespace quillbrook::test_support
