#include "DatabasePageView.h"

#include "DatabasePagePresenter.h"
#include "DatabasePageTexts.h"
#include "DatabaseTreeView.h"
#include "FileDialogLook.h"
#include "ObjectNames.h"
#include "Session.h"
#include "WidgetKit.h"
#include "common/OperatorTexts.h"
#include "database/DatabasePage.h"
#include "link/Connection.h"
#include "link/LineOwner.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalent {

namespace {

// A button with its hint.
QPushButton *button(const QString &name, const QString &caption, const QString &hint,
                    QWidget *parent)
{
    auto *b = WidgetKit::button(name, caption, parent);
    // Some styles give push buttons a minimum width of 80 px; the page's rows
    // were drawn with narrower ones.
    b->setMinimumWidth(1);
    b->setToolTip(hint);
    return b;
}

QGroupBox *groupBox(const QString &name, quint32 rgb, QWidget *parent)
{
    auto *box = new QGroupBox(parent);
    box->setObjectName(name);
    WidgetKit::setBackground(box, QColor(QRgb(rgb)));
    return box;
}

constexpr int BoxMargin = 4;

} // namespace

DatabasePageView::DatabasePageView(Session &session, QWidget *parent)
    : QFrame(parent), m_page(session.databasePage()), m_line(session.line())
{
    setObjectName(objectNames::database::Frame);
    const DatabasePageLook s;
    m_title = new QLabel(s.title, this);
    m_title->setObjectName(objectNames::database::Title);
    m_title->setFixedHeight(14);
    buildInstrumentBox(s.instrumentColour);
    buildFileBox(s.fileColour);
    buildAdditionalBox(s.additionalColour);
    buildLayout();
    connectControls();
    buildRestoreAction();
    connect(&session.connection(), &Connection::lineChecked, this, [this](bool up) {
        m_instrumentControlsUp = up;
        showState();
    });

    showState();
}

// RzGroupBox1: the instrument list with its four buttons in one row.
void DatabasePageView::buildInstrumentBox(quint32 colour)
{
    namespace T = DatabasePageTexts;
    m_instrumentBox = groupBox(objectNames::database::InstrumentBox, colour, this);
    m_virTree = new DatabaseTreeView(true, m_instrumentBox);
    m_virTree->setObjectName(objectNames::database::InstrumentTree);
    m_virSelection = new QItemSelectionModel(&m_page.instrumentModel(), this);
    m_virTree->setDatabaseModel(&m_page.instrumentModel(), m_virSelection);
    m_readFromVir = button(objectNames::database::ReadInstrumentList, T::readFromVirCaption(),
                           T::readFromVirHint(), m_instrumentBox);
    m_readFromVir->setFixedWidth(73);
    m_saveToFile = button(objectNames::database::SaveToFile, T::saveToFileCaption(),
                          T::saveToFileHint(), m_instrumentBox);
    m_saveToFile->setFixedWidth(56);
    m_delete =
        button(objectNames::database::Delete, T::deleteCaption(), T::deleteHint(), m_instrumentBox);
    m_writeInstrumentList =
        button(objectNames::database::WriteInstrumentList, T::writeInstrumentListCaption(),
               T::writeInstrumentListHint(), m_instrumentBox);
    m_writeInstrumentList->setFixedWidth(62);
    auto *virRow = new QHBoxLayout;
    virRow->setSpacing(0);
    virRow->addWidget(m_readFromVir);
    virRow->addWidget(m_saveToFile);
    virRow->addWidget(m_delete, 1);
    virRow->addWidget(m_writeInstrumentList);
    auto *virLayout = new QVBoxLayout(m_instrumentBox);
    // Tight margins as drawn: the four buttons must fit the left column.
    virLayout->setContentsMargins(BoxMargin, BoxMargin, BoxMargin, BoxMargin);
    virLayout->addWidget(m_virTree, 1);
    virLayout->addLayout(virRow);
}

// RzGroupBox2: the list from a file, its two buttons in one row.
void DatabasePageView::buildFileBox(quint32 colour)
{
    namespace T = DatabasePageTexts;
    m_fileBox = groupBox(objectNames::database::FileBox, colour, this);
    m_fileBox->setFixedHeight(143);
    m_fileTree = new DatabaseTreeView(false, m_fileBox);
    m_fileTree->setObjectName(objectNames::database::FileTree);
    m_fileTree->setDatabaseModel(&m_page.fileModel());
    m_readFromFile = button(objectNames::database::ReadFromFile, T::readFromFileCaption(),
                            T::readFromFileHint(), m_fileBox);
    m_readFromFile->setFixedWidth(113);
    m_writeFileList = button(objectNames::database::WriteFileList, T::writeFileListCaption(),
                             T::writeFileListHint(), m_fileBox);
    auto *fileRow = new QHBoxLayout;
    fileRow->setSpacing(0);
    fileRow->addWidget(m_readFromFile);
    fileRow->addWidget(m_writeFileList, 1);
    auto *fileLayout = new QVBoxLayout(m_fileBox);
    fileLayout->setContentsMargins(BoxMargin, BoxMargin, BoxMargin, BoxMargin);
    fileLayout->addWidget(m_fileTree, 1);
    fileLayout->addLayout(fileRow);
}

// RzGroupBox3: the additional list and its button.
void DatabasePageView::buildAdditionalBox(quint32 colour)
{
    namespace T = DatabasePageTexts;
    m_additionalBox = groupBox(objectNames::database::AdditionalBox, colour, this);
    m_addTree = new DatabaseTreeView(false, m_additionalBox);
    m_addTree->setObjectName(objectNames::database::AdditionalTree);
    m_addTree->setDatabaseModel(&m_page.additionalModel());
    m_add = button(objectNames::database::AddToInstrumentList, T::addCaption(), T::addHint(),
                   m_additionalBox);
    auto *addLayout = new QVBoxLayout(m_additionalBox);
    addLayout->setContentsMargins(BoxMargin, BoxMargin, BoxMargin, BoxMargin);
    addLayout->addWidget(m_addTree, 1);
    addLayout->addWidget(m_add);
}

// The title over the instrument box on the left and the other two on the right.
void DatabasePageView::buildLayout()
{
    auto *right = new QVBoxLayout;
    right->setSpacing(0);
    right->addWidget(m_fileBox);
    right->addWidget(m_additionalBox, 1);
    auto *rightColumn = new QWidget(this);
    rightColumn->setFixedWidth(232);
    rightColumn->setLayout(right);
    right->setContentsMargins(0, 0, 0, 0);

    auto *body = new QHBoxLayout;
    body->setSpacing(0);
    body->addWidget(m_instrumentBox, 1);
    body->addWidget(rightColumn);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_title);
    layout->addLayout(body, 1);
}

// Clicks go to the controller; its changes and errors come back to the frame.
void DatabasePageView::connectControls()
{
    connect(m_readFromVir, &QPushButton::clicked, &m_page, &DatabasePage::readInstrumentList);
    connect(m_saveToFile, &QPushButton::clicked, this, &DatabasePageView::saveToFile);
    connect(m_delete, &QPushButton::clicked, &m_page, &DatabasePage::deleteSelected);
    connect(m_writeInstrumentList, &QPushButton::clicked, &m_page,
            [this] { m_page.writeInstrumentList(); });
    connect(m_readFromFile, &QPushButton::clicked, this, &DatabasePageView::readFromFile);
    connect(m_writeFileList, &QPushButton::clicked, &m_page, [this] { m_page.writeFileList(); });
    connect(m_add, &QPushButton::clicked, &m_page, &DatabasePage::addToInstrumentList);
    connect(m_virTree, &DatabaseTreeView::nodeClicked, this,
            [this](const NodePath &node, TreeSelection::Click kind) {
                m_page.clickInstrumentNode(node, kind, m_virTree->visibleNodes());
            });
    connect(m_virTree, &DatabaseTreeView::nodeCollapsed, this,
            [this] { m_page.instrumentNodeCollapsed(m_virTree->visibleNodes()); });
    // The Delete key does what "удалить" does, and only when it could be clicked.
    connect(m_virTree, &DatabaseTreeView::deleteRequested, this, [this] {
        if (presentDatabasePage(m_page.state(), !m_line.busy(), m_instrumentControlsUp)
                .deleteEnabled)
            m_page.deleteSelected();
    });
    connect(&m_page, &DatabasePage::stateChanged, this, &DatabasePageView::showState);
    // Whatever changed the selection or the trees, the selection model follows.
    connect(&m_page, &DatabasePage::selectionChanged, this, &DatabasePageView::mirrorSelection);
    connect(&m_page, &DatabasePage::treesChanged, this, &DatabasePageView::mirrorSelection);
    connect(&m_line, &LineOwner::busyChanged, this, &DatabasePageView::showState);
    connect(&m_page, &DatabasePage::errorRaised, this, [this](const QString &text) {
        QMessageBox::critical(this, OperatorTexts::programName(), text);
    });
    connect(&m_page, &DatabasePage::warningRaised, this, [this](const QString &text) {
        QMessageBox::warning(this, OperatorTexts::programName(), text);
    });
}

void DatabasePageView::mirrorSelection()
{
    QItemSelection rows;
    for (const NodePath &node : m_page.selection().nodes()) {
        const QModelIndex index = m_page.instrumentModel().indexOf(node);
        if (index.isValid())
            rows.select(index, index);
    }
    m_virSelection->select(rows, QItemSelectionModel::ClearAndSelect);
}

void DatabasePageView::showState()
{
    const DatabasePageLook s =
        presentDatabasePage(m_page.state(), !m_line.busy(), m_instrumentControlsUp);
    m_title->setText(s.title);
    m_instrumentBox->setTitle(s.instrumentCaption);
    m_fileBox->setTitle(s.fileCaption);
    m_additionalBox->setTitle(s.additionalCaption);
    m_readFromVir->setEnabled(s.readFromVirEnabled);
    m_saveToFile->setEnabled(s.saveToFileEnabled);
    m_delete->setEnabled(s.deleteEnabled);
    m_writeInstrumentList->setEnabled(s.writeInstrumentListEnabled);
    m_readFromFile->setEnabled(s.readFromFileEnabled);
    m_writeFileList->setEnabled(s.writeFileListEnabled);
    m_add->setEnabled(s.addEnabled);
    // As "в прибор": a write needs the instrument and a free line.
    if (m_restore)
        m_restore->setEnabled(s.readFromVirEnabled);
    // Hidden trees keep their place in the layout, as the boxes do.
    for (auto [tree, shown] :
         {std::pair{m_virTree, s.virTreeVisible}, std::pair{m_fileTree, s.fileTreeVisible},
          std::pair{m_addTree, s.addTreeVisible}}) {
        QSizePolicy policy = tree->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        tree->setSizePolicy(policy);
        tree->setVisible(shown);
    }
}

// The open and save dialogs: not the desktop's own, so tests can drive them.
// Empty when cancelled.
QString DatabasePageView::askForFile(const QString &objectName, QFileDialog::AcceptMode mode,
                                     const QString &folder)
{
    QFileDialog dialog(this);
    dialog.setObjectName(objectName);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    // Saving asks before it replaces a file, as every other save does.
    if (mode == QFileDialog::AcceptOpen)
        dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(DatabasePageTexts::dialogSuffix());
    dialog.setNameFilter(DatabasePageTexts::dialogFilter());
    dialog.setDirectory(folder.isEmpty() ? m_page.dialogFolder() : folder);
    FileDialogLook::apply(&dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void DatabasePageView::saveToFile()
{
    const QString path = askForFile(objectNames::database::SaveDialog, QFileDialog::AcceptSave);
    if (!path.isEmpty())
        m_page.saveInstrumentListTo(path);
}

void DatabasePageView::readFromFile()
{
    // Refused while a write is ahead: the file list stays the one written.
    if (!m_page.discardFileList())
        return;
    const QString path = askForFile(objectNames::database::OpenDialog, QFileDialog::AcceptOpen);
    if (!path.isEmpty())
        m_page.openFileList(path);
}

void DatabasePageView::buildRestoreAction()
{
    m_restore = new QAction(DatabasePageTexts::restoreCaption(), this);
    m_restore->setObjectName(objectNames::database::RestoreAction);
    m_restore->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    m_restore->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(m_restore);
    m_virTree->addAction(m_restore);
    m_virTree->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_restore, &QAction::triggered, this, &DatabasePageView::restoreFromBackup);

    // An instrument whose database cannot be read refuses every backed-up
    // write: the operator may ask for one write without a backup.
    m_withoutBackup = new QAction(DatabasePageTexts::withoutBackupCaption(), this);
    m_withoutBackup->setObjectName(objectNames::database::WithoutBackupAction);
    m_withoutBackup->setCheckable(true);
    m_withoutBackup->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B));
    m_withoutBackup->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(m_withoutBackup);
    m_virTree->addAction(m_withoutBackup);
    m_page.service().setNoBackupWay(DatabasePageTexts::withoutBackupWay());
    connect(m_withoutBackup, &QAction::toggled, this,
            [this](bool on) { m_page.setBackupBeforeWrite(!on); });
    connect(&m_page, &DatabasePage::transferEnded, this, [this](LineJob job) {
        if (job == LineJob::DatabaseWrite)
            m_withoutBackup->setChecked(false);
    });
}

void DatabasePageView::restoreFromBackup()
{
    if (!m_restore->isEnabled())
        return;
    // The dialog opens where the backups are, made if there are none yet.
    const QString folder = m_page.backupFolder();
    QDir().mkpath(folder);
    const QString path =
        askForFile(objectNames::database::RestoreDialog, QFileDialog::AcceptOpen, folder);
    if (!path.isEmpty())
        m_page.restoreFrom(path);
}

} // namespace kalent
