#include "app/CommandCatalog.h"

#include "app/CommandIds.h"

namespace {
using namespace cmd;

constexpr MenuItem kFileMenu[] = {
    {kFileNew, "新建(&N)", "Ctrl+N"},
    {kFileOpen, "打开(&O)...", "Ctrl+O"},
    {kFileSave, "保存(&S)", "Ctrl+S"},
    {kFileSaveAs, "另存为(&A)...", ""},
    {kExportMenu, "导出(&E)", ""},
    {0, nullptr, nullptr},
    {kFilePrint, "打印(&P)...", "Ctrl+P"},
    {kFilePrintPreview, "打印预览(&V)", ""},
    {kFilePrintSetup, "打印设置(&R)...", ""},
    {0, nullptr, nullptr},
    {kFileMru1, "最近文件", ""},
    {0, nullptr, nullptr},
    {kAppExit, "退出(&X)", ""},
};
constexpr MenuItem kExportMenuItems[] = {
    {kExportCsv, "CSV(&C)...", ""},
    {kExportGeoJson, "GeoJSON(&G)...", ""},
    {kExportKml, "KML(&K)...", ""},
    {kExportLandXml, "LandXML(&L)...", ""},
};
constexpr MenuItem kEditMenu[] = {
    {kEditUndo, "撤消(&U)", "Ctrl+Z"},  {0, nullptr, nullptr},
    {kEditCut, "剪切(&T)", "Ctrl+X"},   {kEditCopy, "复制(&C)", "Ctrl+C"},
    {kEditPaste, "粘贴(&P)", "Ctrl+V"},
};
constexpr MenuItem kViewMenu[] = {
    {kViewToolbar, "工具栏(&T)", ""},
    {kViewStatusBar, "状态栏(&S)", ""},
    {kViewPlan, "点位图(&M)", ""},
};
constexpr MenuItem kTransferMenu[] = {
    {kConnect, "连接仪器(&T)", "Ctrl+T"},
    {0, nullptr, nullptr},
    {kDownload210, "下传QMX210数据(&M)", "Ctrl+M"},
    {kDownload610, "下传QMX610/710数据(&N)", "Ctrl+N"},
    {0, nullptr, nullptr},
    {kUpload210, "上传QMX210数据(&Z)", "Ctrl+Z"},
    {kUpload610, "上传QMX610/710数据(&Y)", "Ctrl+Y"},
    {0, nullptr, nullptr},
    {kUploadPcode, "上传QMX210 PCODE(&O)", "Ctrl+O"},
    {kUploadFeatures, "上传QMX610/710特征码(&P)", "Ctrl+P"},
    {kUploadAlignment, "上传定线数据(&Q)", "Ctrl+Q"},
    {0, nullptr, nullptr},
    {kStopTransfer, "停止传输(&S)", "Esc"},
};
constexpr MenuItem kConvertMenu[] = {
    {kZeltaMap, "ZeltaMap坐标(&K)", ""},
    {kTervCoords210, "TERV坐标(QMX210)(&T)", ""},
    {kTervCoords610, "TERV坐标(QMX610/710)(&M)", ""},
    {kTervEdgeAngle610, "TERV坐标(QMX610/710边角数据)(&N)", ""},
    {0, nullptr, nullptr},
    {kPcodeList, "PCODE编码(&Y)", ""},
};
constexpr MenuItem kHelpMenu[] = {
    {kAppAbout, "关于...(&A)", ""},
    {kHelp, "帮助文档...(&E)", "F1"},
};
constexpr MenuDef kMenuBar[] = {
    {"文件(&F)", kFileMenu},     {"编辑(&E)", kEditMenu},    {"查看(&V)", kViewMenu},
    {"传输(&C)", kTransferMenu}, {"转换(&T)", kConvertMenu}, {"帮助(&H)", kHelpMenu},
};

constexpr CommandText kTexts[] = {
    {kFileNew, "建立新文档", "新建"},
    {kFileOpen, "打开一个现有文档", "打开"},
    {kFileSave, "保存活动文档", "保存"},
    {kFileSaveAs, "将活动文档以一个新文件名保存", "另存为"},
    {kFilePrintSetup, "改变打印机及打印选项", "打印设置"},
    {kFilePrint, "打印活动文档", "打印"},
    {kFilePrintPreview, "显示整页", "打印预览"},
    {kFileMru1, "打开该文档", ""},
    {kFileMru1 + 1, "打开该文档", ""},
    {kFileMru1 + 2, "打开该文档", ""},
    {kFileMru1 + 3, "打开该文档", ""},
    {kEditCopy, "复制被选对象并将其置于剪贴板上", "复制"},
    {kEditCut, "剪切被选对象并将其置于剪贴板上", "剪切"},
    {kEditPaste, "插入剪贴板内容", "粘贴"},
    {kEditUndo, "撤消最后一步操作", "撤消"},
    {kAppExit, "退出应用程序；提示保存文档", "退出"},
    {kViewToolbar, "显示或隐藏工具栏", "显隐工具栏"},
    {kViewStatusBar, "显示或隐藏状态栏", "显隐状态栏"},
    {kExportCsv, "把编辑窗口中的坐标导出为CSV文件(电子表格)", "导出CSV"},
    {kExportGeoJson, "把编辑窗口中的坐标导出为GeoJSON文件(经纬度, 用于GIS)", "导出GeoJSON"},
    {kExportKml, "把编辑窗口中的坐标导出为KML文件(经纬度, 用于Google Earth)", "导出KML"},
    {kExportLandXml, "把编辑窗口中的坐标导出为LandXML 1.2文件(平面坐标)", "导出LandXML"},
    {kViewPlan, "显示或隐藏点位图", "点位图"},
    {kStopTransfer, "停止正在进行的传输；已接收的数据保留", "停止传输"},
};

// The frame commands that stand for a menu command carry its texts; the two
// list editors that appear twice say so in their tooltips.
constexpr CommandBarItem kCommandBar[] = {
    {kFrameOpen, "打开文件", "打开一个现有文档", "打开"},
    {kFrameSave, "保存文件", "保存活动文档", "保存"},
    {kFrameExit, "退出程序", "退出应用程序；提示保存文档", "退出"},
    {kFrameComSettings, "串口设置", "设置串口、波特率、数据位、校验位、停止位、协议和超时",
     "串口设置"},
    {kFrameDownload210, "下传QMX210数据", "从QMX210系列仪器下传数据到编辑窗口", "下传QMX210数据"},
    {kFrameUpload210, "上传QMX210数据", "把编辑窗口中的坐标列表上传到QMX210系列仪器",
     "上传QMX210数据"},
    {kFrameEditCoordList, "编辑坐标列表", "以表格方式编辑编辑窗口中的坐标列表",
     "编辑坐标列表 (与“坐标列表编辑”是同一命令)"},
    {kFrameEditCodeList, "编辑编码列表", "以表格方式编辑编辑窗口中的编码列表",
     "编辑编码列表 (与“编码列表编辑”是同一命令)"},
    {kUsbSettings, "USB设置", "设置USB传输的接收超时和行延时", "USB设置"},
    {kDownload610B, "下传QMX610/710数据(二)", "从QMX610/710系列仪器下传数据到编辑窗口",
     "与“传输”菜单的“下传QMX610/710数据”相同"},
    {kUploadAlignmentB, "上传定线数据(二)", "把编辑窗口中的定线数据上传到仪器",
     "与“传输”菜单的“上传定线数据”相同"},
    {kUsbDownloadA, "USB下传数据(一)", "通过USB从仪器下传数据到编辑窗口", "USB下传数据"},
    {kUsbDownloadB, "USB下传数据(二)", "通过USB从仪器下传数据到编辑窗口", "USB下传数据"},
    {kUsbDownloadC, "USB下传数据(三)", "通过USB从仪器下传数据到编辑窗口", "USB下传数据"},
    {kUsbUpload610, "USB上传QMX610/710数据", "通过USB把坐标列表上传到QMX610/710系列仪器",
     "USB上传QMX610/710数据"},
    {kUsbUploadTextA, "USB上传文本(一)", "通过USB把编辑窗口中的文本原样上传到仪器", "USB上传文本"},
    {kUsbUploadTextB, "USB上传文本(二)", "通过USB把编辑窗口中的文本原样上传到仪器", "USB上传文本"},
    {kUsbUploadTextC, "USB上传文本(三)", "通过USB把编辑窗口中的文本原样上传到仪器", "USB上传文本"},
    {kUsbUploadFeatures, "USB上传特征码", "通过USB把编码列表作为特征码上传到仪器", "USB上传特征码"},
    {kShowCoordBlocks210, "显示QMX210坐标块", "把坐标列表转换为上传QMX210时发送的坐标块",
     "显示QMX210坐标块"},
    {kTervMeasurement210, "QMX210测量数据转换", "把QMX210测量数据转换为TERV坐标列表",
     "QMX210测量数据转换"},
    {kDxfExport, "导出DXF图形", "把编辑窗口中的坐标列表转换为DXF图形", "导出DXF图形"},
    {kEditCoordList, "坐标列表编辑", "以表格方式编辑编辑窗口中的坐标列表",
     "坐标列表编辑 (与“编辑坐标列表”是同一命令)"},
    {kEditCodeList, "编码列表编辑", "以表格方式编辑编辑窗口中的编码列表",
     "编码列表编辑 (与“编辑编码列表”是同一命令)"},
    {kPrismCorrect, "棱镜常数改正", "按新旧棱镜常数改正编辑窗口中的距离", "棱镜常数改正"},
    {kViewPlan, "点位图", "显示或隐藏点位图", "点位图"},
};
}  // namespace

std::span<const MenuDef> MenuBar() {
    return kMenuBar;
}
std::span<const MenuItem> SubMenuItems(unsigned id) {
    if (id == kExportMenu) return kExportMenuItems;
    return {};
}
std::span<const CommandText> CommandTexts() {
    return kTexts;
}
std::span<const CommandBarItem> CommandBarItems() {
    return kCommandBar;
}

const CommandText* FindCommandText(unsigned id) {
    for (const CommandText& t : kTexts)
        if (t.id == id) return &t;
    return nullptr;
}
