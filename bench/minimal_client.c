/* The least a client can do for `accounts list`: connect, write the request,
 * copy the answer line to standard output. The yardstick for start-up cost. */
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(void) {
    const char* path = getenv("QUILLBROOK_SOCKET");
    struct sockaddr_un address;
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, path ? path : "", sizeof address.sun_path - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0 || connect(fd, (struct sockaddr*)&address, sizeof address) != 0) {
        return 2;
    }
    static const char request[] = "{\"action\":\"list_accounts\"}\n";
    if (write(fd, request, sizeof request - 1) != (ssize_t)(sizeof request - 1)) {
        return 3;
    }
    char buffer[4096];
    ssize_t received;
    while ((received = read(fd, buffer, sizeof buffer)) > 0) {
        if (write(STDOUT_FILENO, buffer, (size_t)received) < 0 || memchr(buffer, '\n', (size_t)received) != NULL) {
            break;
        }
    }
    close(fd);
    return 0;
}
