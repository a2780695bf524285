#include "client/gui/guiicons.h"

#include "client/uitextids.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

// The shipped icons are in this static library; nothing would pull them in
// without a reference.
static void EnsureResources()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(lumora);
        return true;
    }();
    (void)loaded;
}

namespace {

struct CommandIconName {
    int command;
    const char* theme;
    const char* shipped;
};

constexpr CommandIconName kCommandIcons[] = {
    {kCmdInsertCodes, "document-open", "insert"},
    {kCmdExportCodes, "document-save-as", "export"},
    {kCmdFilePrint, "document-print", "print"},
    {kCmdEditCut, "edit-cut", "cut"},
    {kCmdEditCopy, "edit-copy", "copy"},
    {kCmdEditPaste, "edit-paste", "paste"},
    {kCmdGo, "go-jump", "go"},
    {kCmdAddToList, "list-add", "add"},
    {kCmdShowWebPage, "web-browser", "webpage"},
    {kCmdDescribeAll, "edit-find", "describe"},
    {kCmdDelete, "edit-delete", "delete"},
    {kCmdProperties, "document-properties", "properties"},
    {kCmdHelp, "help-contents", "help"},
    {kCmdHideToTray, "go-down", "hide"},
};

QString Shipped(const char* name)
{
    return QStringLiteral(":/lumora/icons/%1.svg").arg(QLatin1String(name));
}

const char* ResourceFile(CCustomMedia::Kind kind, int resourceId)
{
    switch (kind) {
    case CCustomMedia::Kind::Icon:
        if (resourceId == CCustomization::kIconApp)
            return "app";
        if (resourceId == CCustomization::kIconTrayGood)
            return "tray";
        if (resourceId == CCustomization::kIconTrayBad)
            return "traybad";
        return nullptr;
    case CCustomMedia::Kind::Bitmap:
        return resourceId == CCustomization::kBitmapSplash ? "splash" : nullptr;
    case CCustomMedia::Kind::Sound:
        return nullptr;
    }
    return nullptr;
}

} // namespace

QIcon CommandIcon(int commandId)
{
    EnsureResources();
    for (const CommandIconName& entry : kCommandIcons)
        if (entry.command == commandId)
            return QIcon::fromTheme(QLatin1String(entry.theme), QIcon(Shipped(entry.shipped)));
    return {};
}

CCustomMedia ProgramResource(CCustomMedia::Kind kind, int resourceId)
{
    CCustomMedia media;
    media.kind = kind;
    EnsureResources();
    const char* name = ResourceFile(kind, resourceId);
    if (!name)
        return media;
    QFile file(Shipped(name));
    if (!file.open(QIODevice::ReadOnly))
        return media;
    QByteArray bytes = file.readAll();
    if (kind == CCustomMedia::Kind::Bitmap) {
        // Handed on as shipped, which MediaPixmap reads: only the size is
        // read now, so that nothing is drawn before it is shown.
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer);
        const QSize size = reader.size();
        if (!size.isValid())
            return media;
        media.width = size.width();
        media.height = size.height();
    }
    media.data.assign(bytes.begin(), bytes.end());
    media.origin = CCustomMedia::Origin::Resource;
    media.resourceId = resourceId;
    return media;
}

QPixmap MediaPixmap(const CCustomMedia& media)
{
    QPixmap pixmap;
    if (!media.data.empty())
        pixmap.loadFromData(media.data.data(), static_cast<uint>(media.data.size()));
    return pixmap;
}

QIcon MediaIcon(const CCustomMedia& large, const CCustomMedia& small)
{
    QIcon icon;
    for (const CCustomMedia* media : {&large, &small})
        if (const QPixmap pixmap = MediaPixmap(*media); !pixmap.isNull())
            icon.addPixmap(pixmap);
    return icon;
}
