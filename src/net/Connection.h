#pragma once
#include <QObject>
#include <QString>
#include <utility>

namespace orv {

class ServerClient;

// offline: no group list fetched; connected: the server answered with its
// groups; ready: a group is chosen and its adventure open.
enum class ConnectionState { Offline, Connected, Ready };

// The program's one connection to the adventure server: its state, the group
// password and the client every request goes through. Windows subscribe to
// stateChanged to show their Upload and Down buttons; the main window paints
// its indicator from it.
class Connection : public QObject {
    Q_OBJECT
public:
    explicit Connection(ServerClient& client, QObject* parent = nullptr) : QObject(parent), client_(client) {}

    ServerClient& client() const { return client_; }

    ConnectionState state() const { return state_; }
    bool isReady() const { return state_ == ConnectionState::Ready; }
    void setState(ConnectionState state) {
        if (std::exchange(state_, state) != state)
            emit stateChanged(state);
    }

    const QString& password() const { return password_; }
    void setPassword(const QString& password) {
        if (std::exchange(password_, password) != password)
            emit passwordChanged(password);
    }

    // A whole transfer is running, its client on a thread of its own: no
    // other request may go through the client until it is over, and the
    // editors save nothing meanwhile. The connection window sets it, with
    // the document's flag of the same name.
    bool transferRunning() const { return transferRunning_; }
    void setTransferRunning(bool running) { transferRunning_ = running; }

signals:
    void stateChanged(orv::ConnectionState state);
    void passwordChanged(const QString& password);

private:
    ServerClient& client_;
    ConnectionState state_ = ConnectionState::Offline;
    QString password_;
    bool transferRunning_ = false;
};

}  // namespace orv
