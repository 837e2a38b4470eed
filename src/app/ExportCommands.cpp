// The window's point exports (文件 → 导出): the view's points to a CSV, GeoJSON,
// KML or LandXML file. The points are checked before any dialog; GeoJSON and
// KML ask for the grid's coordinate system (the last one is offered again); the
// file is written whole or not at all, never through a link.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "app/AppServices.h"
#include "app/AppStrings.h"
#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/MainFrame.h"
#include "base/SafeFile.h"
#include "config/ExportSettings.h"
#include "geo/PointExport.h"
#include "ui/CrsChoiceDlg.h"
#include "ui/MessageSeam.h"
#include "ui/PlanTexts.h"
#include "view/CommunicationDoc.h"

namespace {

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList Filters(EPointFormat format) {
    switch (format) {
        case EPointFormat::kCsv:
            return {"CSV UTF-8 (*.csv)", "CSV GBK (*.csv)"};
        case EPointFormat::kGeoJson:
            return {"GeoJSON (*.geojson *.json)"};
        case EPointFormat::kKml:
            return {"KML (*.kml)"};
        case EPointFormat::kLandXml:
            return {"LandXML (*.xml)"};
    }
    return {};
}

// The document's name with the format's extension, beside the document.
QString SuggestedName(EPointFormat format) {
    const CCommunicationDoc* doc = TheApp()->Doc();
    const QString ext = QString::fromUtf8(PointFormatExtension(format));
    if (doc->PathName().isEmpty()) return doc->Title() + '.' + ext;
    const QFileInfo info(doc->PathName());
    return info.dir().filePath(info.completeBaseName() + '.' + ext);
}

// A FIFO or device would hold the window until someone reads it.
int WriteExport(const QString& path, const std::string& bytes) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : kFileNotRegular;
    return ReplaceFile(native.toStdString(), bytes);
}

void Export(EPointFormat format) {
    std::string text;
    GetViewText(text);
    if (const std::string problem = ExportProblem(text); !problem.empty()) {
        ShowMessageBox(AppMainWindow(), Utf8(problem));
        return;
    }
    CExportRequest request;
    request.format = format;
    if (PointFormatNeedsCrs(format)) {
        const std::optional<QString> crs = AskExportCrs(AppMainWindow(), Utf8(LoadLastExportCrs()));
        if (!crs) return;
        request.crs = crs->toStdString();
        // Only a convenience for the next time: a settings file that cannot be
        // written does not stop the export.
        SaveLastExportCrs(request.crs);
    }
    int chosenFilter = 0;
    const QString path = AskExportFileName(
        AppMainWindow(),
        QString::fromUtf8(apptext::kExportTitle) + ' ' + QString::fromUtf8(PointFormatName(format)),
        SuggestedName(format), Filters(format), &chosenFilter);
    if (path.isEmpty()) return;
    request.gbk = format == EPointFormat::kCsv && chosenFilter == 1;
    request.title = QFileInfo(path).completeBaseName().toStdString();
    const CConvertResult result = ExportPoints(text, request);
    if (!result.IsDone()) {
        ShowMessageBox(AppMainWindow(), Utf8(result.m_message));
        return;
    }
    if (const int error = WriteExport(path, result.m_text); error != 0) {
        ShowMessageBox(AppMainWindow(), QString::fromUtf8(plantext::kExportFailed) + '\n' + path +
                                            ": " + Utf8(FileErrorText(error)));
        return;
    }
    TheApp()->Frame()->ShowStatusText(QString::fromUtf8(apptext::kExported) + path);
}

template <EPointFormat F>
void ExportAs() {
    Export(F);
}

}  // namespace

void RegisterExportCommands() {
    RegisterCommand(cmd::kExportCsv, ExportAs<EPointFormat::kCsv>);
    RegisterCommand(cmd::kExportGeoJson, ExportAs<EPointFormat::kGeoJson>);
    RegisterCommand(cmd::kExportKml, ExportAs<EPointFormat::kKml>);
    RegisterCommand(cmd::kExportLandXml, ExportAs<EPointFormat::kLandXml>);
}
