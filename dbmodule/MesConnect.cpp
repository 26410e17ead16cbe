#include "MesConnect.h"

#include "TitleBar.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TFMesConnect::TFMesConnect(std::function<void()> onExit, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      FOnExit(std::move(onExit)) {
    setObjectName(QStringLiteral("FMesConnect"));
    setWindowTitle(QStringLiteral("Обмен с сервером"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::red);
    setPalette(pal);

    QFont bold = font();
    bold.setBold(true);

    lNoMainSrv = new QLabel(QStringLiteral("Отсутсвует основной сервер баз данных "), this);
    lNoMainSrv->setObjectName(QStringLiteral("lNoMainSrv"));
    lNoMainSrv->setAlignment(Qt::AlignCenter);
    lNoMainSrv->setFont(bold);
    lNoMainSrv->setStyleSheet(QStringLiteral("color: aqua; background: red;"));

    Label2 = new QLabel(QStringLiteral("Пожалуйста, подождите..."), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(bold);
    Label2->setStyleSheet(QStringLiteral("color: yellow;"));

    Label3 =
        new QLabel(QStringLiteral("За дополнительной информацией обращайтесь к администратору ОИК! "), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setWordWrap(true);
    Label3->setStyleSheet(QStringLiteral("color: black;"));

    Button1 = new QPushButton(QStringLiteral("Выход с программы"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TFMesConnect::Button1Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lNoMainSrv);
    layout->addWidget(Label2);
    layout->addWidget(Label3, 1);
    layout->addWidget(Button1, 0, Qt::AlignRight | Qt::AlignBottom);

    setWindowModality(Qt::ApplicationModal);
    AllowTitleBarButtons(this, TTitleBarButtons::None);
    FixDialogSize(this, QSize(332, 138));
    FormCreate();
}

void TFMesConnect::FormCreate() {
    FShown = false;
}

void TFMesConnect::FormShow() {
    FShown = true;
}

void TFMesConnect::FormActivate() {
    FShown = true;
}

void TFMesConnect::FormDeactivate() {
    FShown = false;
}

void TFMesConnect::FormClose() {
    FShown = false;
}

void TFMesConnect::Button1Click() {
    if (FOnExit)
        FOnExit();
}

void TFMesConnect::ShowNotice() {
    CenterOverMainWindow();
    // Modal for the user, but without a nested event loop: the tick that shows it returns and
    // the next ticks keep checking the server.
    show();
    raise();
    activateWindow();
}

void TFMesConnect::CloseNotice() {
    hide();
    FShown = false;
}

void TFMesConnect::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TFMesConnect::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    FormClose();
}

void TFMesConnect::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            FormActivate();
        else
            FormDeactivate();
    }
}

void TFMesConnect::closeEvent(QCloseEvent* event) {
    // Only the tick closes the notice (CloseNotice hides it); the window manager's close is refused.
    event->ignore();
}

void TFMesConnect::CenterOverMainWindow() {
    const QWidget* main = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible() && !w->isMinimized() && w->isWindow() &&
            w->windowType() == Qt::Window) {
            main = w;
            break;
        }
    }
    QRect area;
    if (main)
        area = main->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        move(area.center() - QPoint(width() / 2, height() / 2));
}
