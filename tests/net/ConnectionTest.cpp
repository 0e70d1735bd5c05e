// The connection's state and password: each change is announced once, and
// only a real change is announced.
#include "net/Connection.h"
#include "net/ServerClient.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace orv;

TEST(Connection, StateAndPasswordAnnounceEachRealChange) {
    qRegisterMetaType<ConnectionState>();
    ServerClient client(QStringLiteral("http://127.0.0.1:9/Orvalis/"));
    Connection connection(client);
    EXPECT_EQ(connection.state(), ConnectionState::Offline);
    EXPECT_FALSE(connection.isReady());
    QSignalSpy states(&connection, &Connection::stateChanged);
    QSignalSpy passwords(&connection, &Connection::passwordChanged);

    connection.setState(ConnectionState::Connected);
    connection.setState(ConnectionState::Connected);
    connection.setState(ConnectionState::Ready);
    EXPECT_TRUE(connection.isReady());
    ASSERT_EQ(states.count(), 2);
    EXPECT_EQ(states.at(1).at(0).value<ConnectionState>(), ConnectionState::Ready);
    // Connecting again after a group was chosen is a change like any other.
    connection.setState(ConnectionState::Connected);
    EXPECT_FALSE(connection.isReady());
    EXPECT_EQ(states.count(), 3);

    connection.setPassword("demo");
    connection.setPassword("demo");
    connection.setPassword("");
    EXPECT_EQ(passwords.count(), 2);
    EXPECT_EQ(connection.password(), "");
    EXPECT_EQ(&connection.client(), &client);
}
