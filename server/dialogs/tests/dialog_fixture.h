// Shared set-up of the dialog tests: a table file in a scratch folder that
// both the engine and the document read, a message-box recorder, and ways
// to reach controls by their ids.
#pragma once

#include "bootp/bootptab_reader.h"
#include "bootp/server.h"
#include "platform/messagebox.h"
#include "server/core/korrind_doc.h"
#include "server/dialogs/ip_address_edit.h"
#include "tests/support/files.h"
#include "tests/support/message_boxes.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace dialogtest {

inline const std::string kHeader = "# OXL Bootptab file\r\n\r\n# global defaults\r\n"
                                   "global.defaults:\\\r\nsm=255.255.255.0:\\\r\ngw=10.1.1.1:\r\n";

// An entry block as the server writes it; no "ip=" line when ip is empty.
inline std::string Block(const std::string& host, const std::string& ha, const std::string& ip,
                         const std::string& comment = "lab") {
    std::string block =
        "\r\n# " + comment + "\r\n" + host + ":\\\r\nht=1:\\\r\nha=" + ha + ":\\\r\n";
    if (!ip.empty())
        block += "ip=" + ip + ":\\\r\n";
    return block + "sm=255.255.255.0:\\\r\nvm=auto:\\\r\nhn:\\\r\nbs=auto:\\\r\n"
                   "T145=64:T146=01:T147=01\r\n";
}

using olvani_test::ReadFile;

// A table file, a fresh engine's tables read from it and a document over it.
class Table {
public:
    explicit Table(const std::string& content) {
        path = dir.filePath(QStringLiteral("bootptab")).toStdString();
        olvani_test::WriteFile(path, content);
        SetTablePath(server.Engine(), path);
        ReadHostTable(server.Engine());
        doc = std::make_unique<CKorrindDoc>(path);
        doc->ReadTableLines();
        doc->LoadDefaults();
    }
    std::string Content() const { return ReadFile(path); }

    // The engine the dialogs list and re-read, for this test only.
    CBootPServer server;
    QTemporaryDir dir;
    std::string path;
    std::unique_ptr<CKorrindDoc> doc;
};

using Messages = olvani_test::MessageBoxRecorder;

template <class T = QWidget> T* Control(const QWidget& dialog, int id) {
    return dialog.findChild<T*>(QString::number(id));
}

inline void Click(const QWidget& dialog, int id) {
    QPushButton* button = Control<QPushButton>(dialog, id);
    QVERIFY(button);
    button->click();
}

inline void SetAddress(const QWidget& dialog, int id, const char* dotted) {
    auto* edit = Control<IpAddressEdit>(dialog, id);
    QVERIFY(edit);
    if (!*dotted) {
        edit->ClearAddress();
        return;
    }
    auto bytes = korrind::ParseDottedAddress(dotted);
    QVERIFY(bytes);
    edit->SetAddress(*bytes);
}

// True when the keyboard focus of the dialog is on the control or inside it.
inline bool HasFocus(const QWidget& dialog, int id) {
    QWidget* control = Control(dialog, id);
    QWidget* focus = dialog.focusWidget();
    return control && focus && (focus == control || control->isAncestorOf(focus));
}

// Runs `act` on the next modal dialog of type T once it is up, so a test
// can drive a dialog that another one opens with exec(). Gives up (and
// closes whatever is modal) after about two seconds rather than hang.
template <class T> void WhenModal(std::function<void(T*)> act, int triesLeft = 200) {
    QTimer::singleShot(10, [act = std::move(act), triesLeft] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            act(dialog);
            return;
        }
        if (triesLeft > 0) {
            WhenModal<T>(act, triesLeft - 1);
            return;
        }
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            modal->reject();
    });
}

} // namespace dialogtest
