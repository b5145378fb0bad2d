// The SDK server's sockets on loopback: at most 16 clients, and a client that
// asks and never reads is dropped while the others go on being answered.
#include "openrgb/sdk_server.h"
#include "tests/openrgb/fake_keyboard_model.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTcpSocket>
#include <QThread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <functional>
#include <memory>

namespace zr417::openrgb {
namespace {

// Runs the event loop until `done` holds (or a generous number of rounds).
bool Spin(const std::function<bool()>& done)
{
    for (int i = 0; i < 2000 && !done(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return done();
}

std::unique_ptr<QTcpSocket> Connect(quint16 port)
{
    auto s = std::make_unique<QTcpSocket>();
    s->connectToHost(QStringLiteral("127.0.0.1"), port);
    return s;
}

TEST(SdkServer, SixteenClientsAndNoneThatStopsReading)
{
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    FakeKeyboardModel model;
    SdkServer server(model);
    ASSERT_TRUE(server.start(0));
    const quint16 port = server.port();
    ASSERT_NE(port, 0);
    // The port cannot be had twice; the server goes on where it was.
    SdkServer second(model);
    QString error;
    EXPECT_FALSE(second.start(port, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("in use"))) << error.toStdString();

    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < SdkServer::kMaxClients + 1; ++i) clients.push_back(Connect(port));
    ASSERT_TRUE(Spin([&] { return server.clientCount() == SdkServer::kMaxClients; }));
    ASSERT_TRUE(Spin([&] { return clients.back()->state() == QAbstractSocket::UnconnectedState; }))
        << "the seventeenth client is turned away";
    clients.pop_back();
    clients.resize(1);
    ASSERT_TRUE(Spin([&] { return server.clientCount() == 1; }));

    // A client that asks for controller data over and over and reads nothing.
    int greedy = ::socket(AF_INET, SOCK_STREAM, 0);
    int small = 4096;
    ::setsockopt(greedy, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(greedy, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_TRUE(Spin([&] { return server.clientCount() == 2; }));
    auto request = EncodePacket(0, packet::RequestControllerData, std::vector<std::uint8_t>{5, 0, 0, 0});
    std::size_t sent = 0;
    const bool dropped = Spin([&] {
        for (int i = 0; i < 50 && sent < 100000; ++i)
            if (::send(greedy, request.data(), request.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0) ++sent;
        return server.clientCount() == 1;
    });
    ::close(greedy);
    EXPECT_TRUE(dropped) << "after " << sent << " requests";
    EXPECT_EQ(server.service().connections(), 1u);

    // The other client is answered as before.
    QTcpSocket& polite = *clients.front();
    auto count = EncodePacket(0, packet::RequestControllerCount, {});
    polite.write(reinterpret_cast<const char*>(count.data()), static_cast<qint64>(count.size()));
    ASSERT_TRUE(Spin([&] { return polite.bytesAvailable() >= 20; }));
    EXPECT_EQ(polite.readAll().toHex().toStdString(), "4f52474200000000000000000400000002000000");
}

}  // namespace
}  // namespace zr417::openrgb
