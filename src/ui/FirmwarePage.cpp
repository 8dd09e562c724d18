#include "FirmwarePage.h"

#include "ArrowLine.h"
#include "ElidingLabel.h"
#include "FileDialogLook.h"
#include "FirmwarePagePresenter.h"
#include "ObjectNames.h"
#include "Session.h"
#include "WidgetKit.h"
#include "common/OperatorTexts.h"
#include "firmware/FirmwareWizard.h"
#include "navigation/PageNavigator.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kalent {

namespace {

// The colours the frame names.
const QColor Navy(0x00, 0x00, 0x80);
const QColor Fuchsia(0xFF, 0x00, 0xFF);
const QColor Purple(0x80, 0x00, 0x80);
const QColor Red(0xFF, 0x00, 0x00);
const QColor Aqua(0x00, 0xFF, 0xFF);
const QColor Lime(0x00, 0xFF, 0x00);
const QColor Yellow(0xFF, 0xFF, 0x00);
const QColor White(0xFF, 0xFF, 0xFF);
const QColor Blue(0x00, 0x00, 0xFF);
const QColor MediumGrey(0x80, 0x80, 0x80);
const QColor InactiveCaption(0x7A, 0x96, 0xDF);
const QColor Grey(0xA0, 0xA0, 0xA0);

constexpr int FileLabelHeight = 68;
constexpr int FileLabel2Height = 76;
constexpr int ButtonHeight = 25;
// The picture panes keep about this width; the layout arithmetic leaves 210.
constexpr int PicturePaneWidth = 200;

using WidgetKit::setBackground;

// The column of labels and buttons a step takes.
QVBoxLayout *stepsColumn(QWidget *pane)
{
    auto *column = new QVBoxLayout(pane);
    column->setContentsMargins(2, 4, 2, 2);
    column->setSpacing(2);
    return column;
}
using WidgetKit::setTextColour;

QLabel *label(const QString &name, const QString &text, const QColor &colour, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    setTextColour(l, colour);
    return l;
}

// A file label: a long folder is elided in the middle (its start and the file's
// own folder stay readable), the full path is the tooltip, and the label never
// widens its pane.
ElidingLabel *fileLabel(const QString &name, int height, QWidget *parent)
{
    auto *l = new ElidingLabel(Qt::ElideMiddle, parent);
    l->setObjectName(name);
    l->setWholeText(QStringLiteral("Файл не найден"));
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    l->setFixedHeight(height);
    setTextColour(l, Fuchsia);
    return l;
}

// A button of the frame's height, at least `width` wide, in its colour.
QPushButton *button(const QString &name, const QString &text, const QColor &colour, int width,
                    QWidget *parent)
{
    auto *b = WidgetKit::button(name, text, parent);
    b->setFixedSize(std::max(width, b->sizeHint().width()), ButtonHeight);
    setTextColour(b, colour);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

} // namespace

FirmwarePage::FirmwarePage(Session &session, QWidget *parent)
    : QFrame(parent), m_session(session), m_wizard(session.firmware())
{
    setObjectName(objectNames::firmware::Frame);
    resize(DesignWidth, DesignHeight);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto *heading = label(objectNames::firmware::Heading,
                          QStringLiteral("Для программирования прибора ВИРАНТ \n"
                                         "выполните последовательно следующие шаги..."),
                          White, this);
    heading->setFixedHeight(27);
    setBackground(heading, MediumGrey);
    WidgetKit::addTextShadow(heading);
    root->addWidget(heading);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(objectNames::firmware::Steps);
    m_pages->tabBar()->setCursor(Qt::PointingHandCursor);
    m_pages->addTab(buildStepsTab(), QStringLiteral("Шаги 1,2"));
    m_pages->addTab(buildStepThreeTab(), QStringLiteral("Шаг 3"));
    m_pages->setCurrentIndex(0);
    root->addWidget(m_pages, 1);

    // A change of step tab: always allowed, and the step is worked out again.
    connect(m_pages, &QTabWidget::currentChanged, this, [this] { m_wizard.tabChanging(); });
    connect(m_otherFile, &QPushButton::clicked, this, &FirmwarePage::chooseOtherFile);
    connect(m_load, &QPushButton::clicked, this, &FirmwarePage::confirmAndLoad);
    connect(m_stop, &QPushButton::clicked, this, &FirmwarePage::stopUpload);
    connect(&m_wizard, &FirmwareWizard::stateChanged, this, &FirmwarePage::mirror);
    connect(&m_wizard, &FirmwareWizard::errorOccurred, this, &FirmwarePage::showError);
    connect(&m_session.navigator(), &PageNavigator::leaveUploadAsked, this,
            &FirmwarePage::askLeaveUpload);
    mirror();
}

FirmwarePage::~FirmwarePage() = default;

// A tab filled by a splitter: the steps on the left, a picture pane on the right.
QWidget *FirmwarePage::splitTab(const QString &tabName, const QString &splitterName,
                                QSplitter *&splitter)
{
    auto *tab = new QWidget;
    tab->setObjectName(tabName);
    auto *layout = new QHBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    splitter = new QSplitter(Qt::Horizontal, tab);
    splitter->setObjectName(splitterName);
    splitter->setChildrenCollapsible(false);
    layout->addWidget(splitter);
    return tab;
}

QWidget *FirmwarePage::buildStepsTab()
{
    auto *tab = splitTab(objectNames::firmware::StepsTab, objectNames::firmware::StepsSplitter,
                         m_stepsSplitter);
    m_stepsSplitter->installEventFilter(this);
    auto *left = new QWidget(m_stepsSplitter);
    auto *column = stepsColumn(left);
    column->addWidget(label(objectNames::firmware::StepOne,
                            QStringLiteral("Шаг 1. Файл для загрузки:"), Navy, left));

    m_fileLabel = fileLabel(objectNames::firmware::FileName, FileLabelHeight, left);
    m_otherFile = button(objectNames::firmware::OtherFile, QStringLiteral("Другой файл..."), Purple,
                         97, m_fileLabel);
    m_otherFile->move(0, FileLabelHeight - ButtonHeight - 2);
    column->addWidget(m_fileLabel);

    column->addWidget(label(objectNames::firmware::StepTwo,
                            QStringLiteral("Шаг 2. Выключите прибор\nи через 5 сек \nвключите,"),
                            Navy, left));
    column->addWidget(label(objectNames::firmware::StepTwoHow,
                            QStringLiteral("предварительно нажав\nуказкой на экран\nи\n"
                                           "удерживая ее в этом положении."),
                            Fuchsia, left));
    column->addWidget(label(objectNames::firmware::StepTwoScreen,
                            QStringLiteral("Экран прибора должен приобрести вид,\n"
                                           "показанный в окне справа."),
                            Navy, left));
    auto *arrowRow = new QWidget(left);
    arrowRow->setFixedHeight(20);
    m_stepsArrow = new ArrowLine(InactiveCaption, arrowRow);
    m_stepsArrow->setObjectName(objectNames::firmware::StepsArrow);
    column->addWidget(arrowRow);
    column->addStretch(1);

    m_stepsSplitter->addWidget(left);
    m_stepsSplitter->addWidget(buildModePicture(false));
    m_stepsSplitter->setStretchFactor(0, 1);
    m_stepsSplitter->setStretchFactor(1, 0);
    return tab;
}

QWidget *FirmwarePage::buildStepThreeTab()
{
    auto *tab = splitTab(objectNames::firmware::StepThreeTab,
                         objectNames::firmware::StepThreeSplitter, m_stepThreeSplitter);
    auto *left = new QWidget(m_stepThreeSplitter);
    auto *column = stepsColumn(left);
    column->addWidget(label(objectNames::firmware::StepThreeFile,
                            QStringLiteral("Файл для загрузки:"), Navy, left));

    m_fileLabel2 = fileLabel(objectNames::firmware::StepThreeFileName, FileLabel2Height, left);
    m_load = button(objectNames::firmware::Load, QStringLiteral("Загрузить программу в прибор"),
                    Purple, 185, m_fileLabel2);
    m_load->move(0, FileLabel2Height - ButtonHeight - 2);
    column->addWidget(m_fileLabel2);

    auto *stopRow = new QWidget(left);
    stopRow->setFixedHeight(ButtonHeight + 2);
    m_stop = button(objectNames::firmware::StopLoad, QStringLiteral("Отменить загрузку"), Red, 121,
                    stopRow);
    m_stop->move(0, 1);
    m_stop->setEnabled(false);
    m_stop->hide();
    column->addWidget(stopRow);

    auto *outcome = label(objectNames::firmware::StepThreeOutcome,
                          QStringLiteral("При успешном программировании\n"
                                         "экран прибора приобретет вид,\n"
                                         "показанный справа\n\n\nи произойдет \n"
                                         "перезагрузка прибора."),
                          Navy, left);
    outcome->installEventFilter(this);
    // The arrow sits in the blank lines in the middle of the text.
    m_stepThreeArrow = new ArrowLine(Grey, outcome);
    m_stepThreeArrow->setObjectName(objectNames::firmware::StepThreeArrow);
    column->addWidget(outcome, 1);

    m_stepThreeSplitter->addWidget(left);
    m_stepThreeSplitter->addWidget(buildModePicture(true));
    // The picture keeps its width when the frame is resized.
    m_stepThreeSplitter->setStretchFactor(0, 1);
    m_stepThreeSplitter->setStretchFactor(1, 0);
    return tab;
}

QWidget *FirmwarePage::buildModePicture(bool afterUpload)
{
    const int first = afterUpload ? 11 : 6;
    const auto name = [first](int offset) {
        return objectNames::firmware::screenLine(first + offset);
    };

    auto *screen = new QFrame;
    screen->setObjectName(afterUpload ? QStringLiteral("ScreenAfterUpload")
                                      : QStringLiteral("ScreenProgrammingMode"));
    screen->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setBackground(screen, Navy);
    screen->setMinimumWidth(PicturePaneWidth);
    // The instrument's screen is small: its lines fit the pane the layout leaves.
    QFont small = screen->font();
    small.setPixelSize(10);
    screen->setFont(small);
    auto *column = new QVBoxLayout(screen);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(4);

    column->addWidget(label(name(0), QStringLiteral("Начальный  загрузчик  V1.1"), Aqua, screen));
    column->addWidget(label(name(1), QStringLiteral("Тест  ОЗУ  8192  Кб  -  ОК\nТест  ПЗУ  -  ОК"),
                            Lime, screen));
    auto *mode = label(name(2), QStringLiteral("Режим программирования \nвключен"), Yellow, screen);
    mode->setFrameStyle(QFrame::Box | QFrame::Plain);
    mode->setLineWidth(1);
    column->addWidget(mode, 0, Qt::AlignHCenter);

    auto *receiving = new QHBoxLayout;
    receiving->addStretch(1);
    receiving->addWidget(label(name(3), QStringLiteral("Прием файла"), White, screen));
    auto *box = label(name(4), QString(), White, screen);
    box->setFrameStyle(QFrame::Box | QFrame::Plain);
    box->setLineWidth(1);
    box->setFixedSize(87, 15);
    if (afterUpload)
        setBackground(box, White);
    receiving->addWidget(box);
    receiving->addStretch(1);
    column->addLayout(receiving);

    if (afterUpload) {
        column->addWidget(label(objectNames::firmware::ScreenChecksum,
                                QStringLiteral("Контрольная сумма файла  -  ОК"), Lime, screen));
        column->addWidget(label(objectNames::firmware::ScreenProgramming,
                                QStringLiteral("Стирание\nПрограммирование \nПроверка записи"),
                                White, screen));
        column->addWidget(label(objectNames::firmware::ScreenProgrammed,
                                QStringLiteral("Программирование завершено"), Lime, screen));
        column->addWidget(label(objectNames::firmware::ScreenRestart,
                                QStringLiteral("Перезагрузка прибора"), Blue, screen));
    }
    column->addStretch(1);
    return screen;
}

int FirmwarePage::leftPanePercent(int splitterWidth)
{
    if (splitterWidth <= 0)
        return 0;
    return (splitterWidth - 210) * 100 / splitterWidth;
}

int FirmwarePage::dividerOnResize(int newWidth)
{
    return newWidth > 250 ? newWidth - 200 : newWidth / 2;
}

void FirmwarePage::setDivider(QSplitter *splitter, int leftWidth)
{
    const int total = splitter->width() - splitter->handleWidth();
    leftWidth = std::clamp(leftWidth, 0, std::max(0, total));
    splitter->setSizes({leftWidth, total - leftWidth});
}

void FirmwarePage::pageShown()
{
    setDivider(m_stepsSplitter, m_stepsSplitter->width() - 200);
    layOut();
}

void FirmwarePage::settleTabs()
{
    // Qt sizes widgets lazily, and a hidden tab is not laid out until it is
    // shown (its splitter may still measure 100), which put "Другой файл..."
    // far off its label. Both tabs fill the same page control, so the hidden one
    // takes the shown one's size and is laid out before anything is measured.
    if (layout())
        layout()->activate();
    QWidget *shown = m_pages->currentWidget();
    for (int i = 0; i < m_pages->count(); ++i) {
        QWidget *tab = m_pages->widget(i);
        if (tab != shown)
            tab->setGeometry(shown->geometry());
        if (tab->layout())
            tab->layout()->setGeometry(tab->contentsRect());
    }
}

void FirmwarePage::layOut()
{
    settleTabs();
    const int width1 = m_stepsSplitter->width();
    const int w1 = width1 - 210;
    const int w2 = m_stepThreeSplitter->width() - 210;
    const int percent = leftPanePercent(width1);
    setDivider(m_stepThreeSplitter, m_stepThreeSplitter->width() * percent / 100);
    setDivider(m_stepsSplitter, width1 * percent / 100);

    m_otherFile->move(centredLeft(w2, m_otherFile->width()), m_otherFile->y());
    m_load->move(centredLeft(w1, m_load->width()), m_load->y());
    m_stop->move(centredLeft(w1, m_stop->width()), m_stop->y());
    m_stepsArrow->move(centredLeft(w1, m_stepsArrow->width()), m_stepsArrow->y());
    m_stepThreeArrow->move(m_stepsArrow->x(), m_stepThreeArrow->y());
}

bool FirmwarePage::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == m_stepsSplitter) {
            // Resized, the steps' picture keeps 200 pixels on the right (half on a narrow page).
            setDivider(m_stepsSplitter, dividerOnResize(m_stepsSplitter->width()));
        } else if (m_stepThreeArrow && watched == m_stepThreeArrow->parentWidget()) {
            const auto *outcome = static_cast<QWidget *>(watched);
            m_stepThreeArrow->move(m_stepThreeArrow->x(),
                                   (outcome->height() - m_stepThreeArrow->height()) / 2);
        }
    }
    return QFrame::eventFilter(watched, event);
}

void FirmwarePage::mirror()
{
    const FirmwarePageView view = FirmwarePagePresenter::present(m_wizard.state());
    for (ElidingLabel *target : {m_fileLabel, m_fileLabel2}) {
        target->setWholeText(view.fileLabel);
        target->setWholeTip(view.fileTip);
    }
    m_load->setEnabled(view.loadEnabled);
    m_load->setToolTip(view.loadHint);
    m_stop->setEnabled(view.stopShown);
    m_stop->setVisible(view.stopShown);
    m_otherFile->setEnabled(view.fileChoiceEnabled);
}

void FirmwarePage::askLeaveUpload()
{
    // Asked without blocking the tab click that raised it; the upload goes on
    // while the box is open.
    auto *box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Внимание!"),
                        QStringLiteral("Загрузка программы в прибор не закончена. Прервать её?\n"
                                       "В приборе останется неполная программа."),
                        QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(objectNames::firmware::LeaveUploadBox);
    box->setDefaultButton(QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box] {
        m_session.navigator().answerLeaveUpload(box->clickedButton() ==
                                                box->button(QMessageBox::Yes));
    });
    box->open();
}

void FirmwarePage::chooseOtherFile()
{
    if (!FirmwarePagePresenter::present(m_wizard.state()).fileChoiceEnabled)
        return;
    QFileDialog dialog(this, QString(), m_wizard.dialogFolder());
    dialog.setObjectName(objectNames::firmware::OpenDialog);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The file need not exist yet; a missing one is reported when loading.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(FirmwareWizard::dialogFilter());
    FileDialogLook::apply(&dialog);
    if (!m_wizard.dialogFileName().isEmpty())
        dialog.selectFile(m_wizard.dialogFileName());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        m_wizard.fileChosen(dialog.selectedFiles().constFirst());
    else
        m_wizard.fileDialogCancelled();
}

void FirmwarePage::confirmAndLoad()
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Внимание! Проверьте."),
                    QStringLiteral("Режим программирования в приборе включен?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(objectNames::firmware::ConfirmLoadBox);
    m_wizard.startUpload(box.exec() == QMessageBox::Yes);
}

void FirmwarePage::stopUpload()
{
    m_wizard.cancelUpload();
}

void FirmwarePage::showError(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Critical, OperatorTexts::programName(), text,
                                QMessageBox::Ok, this);
    box->setObjectName(objectNames::firmware::ErrorBox);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace kalent
