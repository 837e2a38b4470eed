#include "app/CommandCatalog.h"

#include "app/CommandIds.h"

namespace {
using namespace cmd;

constexpr MenuItem kFileMenu[] = {
    {kFileNew, "新建(&N)", "Ctrl+N"},
    {kFileOpen, "打开(&O)...", "Ctrl+O"},
    {kFileSave, "保存(&S)", "Ctrl+S"},
    {kFileSaveAs, "另存为(&A)...", ""},
    {0, nullptr, nullptr},
    {kFilePrint, "打印(&P)...", "Ctrl+P"},
    {kFilePrintPreview, "打印预览(&V)", ""},
    {kFilePrintSetup, "打印设置(&R)...", ""},
    {0, nullptr, nullptr},
    {kFileMru1, "最近文件", ""},
    {0, nullptr, nullptr},
    {kAppExit, "退出(&X)", ""},
};
constexpr MenuItem kEditMenu[] = {
    {kEditUndo, "撤消(&U)", "Ctrl+Z"},  {0, nullptr, nullptr},
    {kEditCut, "剪切(&T)", "Ctrl+X"},   {kEditCopy, "复制(&C)", "Ctrl+C"},
    {kEditPaste, "粘贴(&P)", "Ctrl+V"},
};
constexpr MenuItem kViewMenu[] = {
    {kViewToolbar, "工具栏(&T)", ""},
    {kViewStatusBar, "状态栏(&S)", ""},
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
    {kHelp, "帮助文档...(&E)", ""},
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
};

constexpr CommandBarItem kCommandBar[] = {
    {kFrameOpen, "打开文件"},
    {kFrameSave, "保存文件"},
    {kFrameExit, "退出程序"},
    {kFrameComSettings, "串口设置"},
    {kFrameDownload210, "下传QMX210数据"},
    {kFrameUpload210, "上传QMX210数据"},
    {kFrameEditCoordList, "编辑坐标列表"},
    {kFrameEditCodeList, "编辑编码列表"},
    {kUsbSettings, "USB设置"},
    {kDownload610B, "下传QMX610/710数据(二)"},
    {kUploadAlignmentB, "上传定线数据(二)"},
    {kUsbDownloadA, "USB下传数据(一)"},
    {kUsbDownloadB, "USB下传数据(二)"},
    {kUsbDownloadC, "USB下传数据(三)"},
    {kUsbUpload610, "USB上传QMX610/710数据"},
    {kUsbUploadTextA, "USB上传文本(一)"},
    {kUsbUploadTextB, "USB上传文本(二)"},
    {kUsbUploadTextC, "USB上传文本(三)"},
    {kUsbUploadFeatures, "USB上传特征码"},
    {kShowCoordBlocks210, "显示QMX210坐标块"},
    {kTervMeasurement210, "QMX210测量数据转换"},
    {kDxfExport, "导出DXF图形"},
    {kEditCoordList, "坐标列表编辑"},
    {kEditCodeList, "编码列表编辑"},
    {kPrismCorrect, "棱镜常数改正"},
};
}  // namespace

std::span<const MenuDef> MenuBar() {
    return kMenuBar;
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
