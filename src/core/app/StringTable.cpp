#include "app/StringTable.h"

#include <iterator>

namespace {

struct StringRow {
    int id;
    const char* english;
    const char* traditional;
    const char* simplified;
};

// English rows are the primary texts and keep their original spellings.
constexpr StringRow kRows[] = {
    {1002, "Select All", "全選", "全选"},
    {1003, "Clear All", "全部取消", "全部取消"},
    {1004, "Check the same type of device", "勾選同類型設備", "勾选同类型设备"},
    {1005, "Upgrading, Please wait....", "正在升級，請稍候....", "正在升级，请稍候...."},
    {1006, "Batch Upgrade", "批量升級", "批量升级"},
    {1007, "Browse", "瀏覽", "浏览"},
    {1008, "Upgrade", "升級", "升级"},
    {1009, "Batch Firmhand", "批量升級工具 Firmhand", "批量升级工具 Firmhand"},
    {1010, "MAC address", "MAC 位址", "MAC 地址"},
    {1011, "Product Type", "產品型號", "产品型号"},
    {1012, "Software Version", "軟體版本", "软件版本"},
    {1013, "Software Build Date", "軟體建置日期", "软件构建日期"},
    {1014, "Kernel version", "核心版本", "内核版本"},
    {1015, "Result", "結果", "结果"},
    {1016, "Upgraded successfully!", "升級成功！", "升级成功！"},
    {1017, "Wrong IP Address!", "IP 位址錯誤！", "IP 地址错误！"},
    {1018, "Failed to open the file!", "開啟檔案失敗！", "打开文件失败！"},
    {1019, "Upgrade package error!", "升級包錯誤！", "升级包错误！"},
    {1020, "Network Disconnected!", "網路已斷開！", "网络已断开！"},
    {1021, "Upgrade failed!", "升級失敗！", "升级失败！"},
    {1022, "Device connection failed!", "設備連線失敗！", "设备连接失败！"},
    {1023, "Incorrect Username/Password!", "使用者名稱或密碼錯誤！", "用户名或密码错误！"},
    {1024, "Maximum number of connections exceeded!", "超過最大連線數！", "超过最大连接数！"},
    {1025, "upgrade file(*.*)|*.*||", "升級檔案(*.*)|*.*||", "升级文件(*.*)|*.*||"},
    {1026, "Please select the upgrade file!", "請選擇升級檔案！", "请选择升级文件！"},
    {1027, "Please select at least one device!", "請至少選擇一台設備！", "请至少选择一台设备！"},
    {1028, "Username", "使用者名稱", "用户名"},
    {1029, "Password", "密碼", "密码"},
    {1033, "IP Address", "IP 位址", "IP 地址"},
    {1034, "About Firmhand", "關於 Firmhand", "关于 Firmhand"},
    {1035, "Name:", "名稱：", "名称："},
    {1036, "Version:", "版本：", "版本："},
    {1037, "Date:", "日期：", "日期："},
    {1039, "Wrong Port!", "連接埠錯誤！", "端口错误！"},
    {1040, "Camera Name", "攝影機名稱", "摄像机名称"},
    {1047, "Batch update supports maximum 32 pieces upgrading simultaneously.",
     "批量升級最多支援同時升級 32 台。", "批量升级最多支持同时升级 32 台。"},
    {1048, "Index", "序號", "序号"},
    {1050, "Device active state", "設備啟用狀態", "设备激活状态"},
    {1051, "Activated", "已啟用", "已激活"},
    {1052, "Nonactivated", "未啟用", "未激活"},
    {1053, "AI Struct Version", "AI 結構化版本", "AI 结构化版本"},
    {1054, "AI Detect Face Version", "AI 人臉偵測版本", "AI 人脸检测版本"},
    {1055, "AI Match Face Version", "AI 人臉比對版本", "AI 人脸比对版本"},
    {1056, "AI Vehicle Version", "AI 車輛版本", "AI 车辆版本"},
    {1057, "Get AI version infomation successfully!", "取得 AI 版本資訊成功！",
     "获取 AI 版本信息成功！"},
    {1058, "Fail to get Ai version infomation！", "取得 AI 版本資訊失敗！",
     "获取 AI 版本信息失败！"},
    {1059, "Not support AI function!", "不支援 AI 功能！", "不支持 AI 功能！"},
    {1060, "Show AI Version", "顯示 AI 版本", "显示 AI 版本"},
    {1061, "Hide AI Version", "隱藏 AI 版本", "隐藏 AI 版本"},
    {1062, "Select device of the same AI version", "選擇相同 AI 版本的設備",
     "选择相同 AI 版本的设备"},
    {1063, "MES get in station fail", "MES 進站失敗", "MES 进站失败"},
    {1064, "Upgrade timeout!", "升級逾時！", "升级超时！"},
    {1065, "Get AI Version", "取得 AI 版本", "获取 AI 版本"},
    {1066, "Wait for restart to enter upgrade mode", "等待重新啟動進入升級模式",
     "等待重启进入升级模式"},
    {1067, "Wait for the device to complete the upgrade", "等待設備完成升級", "等待设备完成升级"},
    {1068, "Slave IP address", "從 IP 位址", "从 IP 地址"},
    {1069, "Show slave IP address", "顯示從 IP 位址", "显示从 IP 地址"},
    {1070, "Hide slave IP address", "隱藏從 IP 位址", "隐藏从 IP 地址"},
    {1071,
     "It is checked that there are duplicate slave IP addresses. Some devices may fail to "
     "upgrade. Do you want to continue upgrading?",
     "檢查到有重複的從 IP 位址，部分設備可能升級失敗。是否繼續升級？",
     "检查到有重复的从 IP 地址，部分设备可能升级失败。是否继续升级？"},
    {1072, "Failed to send upgrade package!", "傳送升級包失敗！", "发送升级包失败！"},
    {1073, "This device is not supported!", "不支援此設備！", "不支持此设备！"},
    {1074, "The upgrade is complete (but the version has not changed).",
     "升級已完成（但版本未改變）。", "升级已完成（但版本未改变）。"},
    // Our own additions.
    {1075, "Upgraded elsewhere right now", "此設備正由其他程式升級", "此设备正由其他程序升级"},
    // Rollouts of many cameras.
    {1076, "Queued", "排隊中", "排队中"},
    {1077, "Already up to date", "已是最新版本", "已是最新版本"},
    {1078, "No package for this model", "沒有此型號的升級包", "没有此型号的升级包"},
    {1079, "Not started: rollout stopped", "未開始：升級已停止", "未开始：升级已停止"},
    {1080, "Cancelled", "已取消", "已取消"},
    {1081, "The credentials file cannot be used.", "無法使用憑證檔案。", "无法使用凭证文件。"},
    {1082, "The run to resume cannot be read.", "無法讀取要繼續的升級記錄。",
     "无法读取要继续的升级记录。"},
    {1083, "Not sent: the run's journal cannot be written", "未傳送：無法寫入升級記錄",
     "未发送：无法写入升级记录"},
    {1084, "The run is going on in another Firmhand process.",
     "此升級記錄正由另一個 Firmhand 程式執行。", "此升级记录正由另一个 Firmhand 程序执行。"},
    {1085, "Not started: the camera's lock cannot be taken safely",
     "未開始：無法安全取得此設備的鎖", "未开始：无法安全获取此设备的锁"},
    {1086, "The folder of the camera locks cannot be used safely.", "無法安全使用設備鎖的資料夾。",
     "无法安全使用设备锁的文件夹。"},
    // Canary rollouts and a paused batch.
    {1087, "Not started: canary failed", "未開始：先行升級的設備失敗",
     "未开始：先行升级的设备失败"},
    {1088, "Waiting for the canary", "等待先行升級的設備", "等待先行升级的设备"},
    {1089, "Paused: no further camera starts; running ones finish",
     "已暫停：不再開始其他攝影機；進行中的會完成", "已暂停：不再开始其他摄像机；进行中的会完成"},
    // The desktop window's own texts.
    {1100, "Filter: name, address, MAC, model or version (Ctrl+F)",
     "篩選：名稱、位址、MAC、型號或版本 (Ctrl+F)", "筛选：名称、地址、MAC、型号或版本 (Ctrl+F)"},
    {1101, "Show only failed", "只顯示失敗的", "只显示失败的"},
    {1102, "Show password", "顯示密碼", "显示密码"},
    {1103, "Hide password", "隱藏密碼", "隐藏密码"},
    {1104, "Found %1 · checked %2 · queued %3 · running %4 · upgraded %5 · failed %6 · skipped %7",
     "已找到 %1 · 已勾選 %2 · 排隊 %3 · 進行中 %4 · 已升級 %5 · 失敗 %6 · 略過 %7",
     "已找到 %1 · 已勾选 %2 · 排队 %3 · 进行中 %4 · 已升级 %5 · 失败 %6 · 跳过 %7"},
    {1105, "Elapsed %1 · about %2 left", "已用 %1 · 約剩 %2", "已用 %1 · 约剩 %2"},
    {1106, "Elapsed %1", "已用 %1", "已用 %1"},
    {1107, "Batch finished: %1 upgraded, %2 failed, %3 skipped in %4",
     "批量升級完成：%1 台成功，%2 台失敗，%3 台略過，用時 %4",
     "批量升级完成：%1 台成功，%2 台失败，%3 台跳过，用时 %4"},
    {1108, "Firmhand: batch finished", "Firmhand：批量升級完成", "Firmhand：批量升级完成"},
    {1109, "Open web page", "開啟網頁", "打开网页"},
    {1110, "Copy IP address", "複製 IP 位址", "复制 IP 地址"},
    {1111, "Copy MAC address", "複製 MAC 位址", "复制 MAC 地址"},
    {1112, "Check all of this model", "勾選此型號的全部設備", "勾选此型号的全部设备"},
    {1113, "Retry this camera", "重試此攝影機", "重试此摄像机"},
    {1114, "Log", "日誌", "日志"},
    {1115, "Export list...", "匯出清單...", "导出列表..."},
    {1116, "Export results...", "匯出結果...", "导出结果..."},
    {1117, "CSV file (*.csv);;JSON file (*.json)", "CSV 檔案 (*.csv);;JSON 檔案 (*.json)",
     "CSV 文件 (*.csv);;JSON 文件 (*.json)"},
    {1118, "The file could not be written.", "無法寫入檔案。", "无法写入文件。"},
    {1119, "Search again", "重新搜尋", "重新搜索"},
    {1120, "Attempts:", "嘗試次數：", "尝试次数："},
    {1121, "Address used:", "使用的位址：", "使用的地址："},
    {1122, "Last log line:", "最後一行日誌：", "最后一行日志："},
    {1123, "Network adapter", "參數配置", "参数配置"},
    {1124, "Network adapter:", "網卡選擇:", "网卡选择:"},
    {1125, "All adapters", "全部", "全部"},
    {1126, "Confirm", "配  置", "配  置"},
    {1127, "Cancel", "取  消", "取  消"},
    {1128, "&File", "檔案(&F)", "文件(&F)"},
    {1129, "&View", "檢視(&V)", "视图(&V)"},
    {1130, "Quit", "結束", "退出"},
    {1131, "Filter", "篩選", "筛选"},
    {1132, "Camera list", "攝影機清單", "摄像机列表"},
    {1133, "Upgrade in progress", "正在升級", "正在升级"},
    {1134, "Upgrade file", "升級檔案", "升级文件"},
    {1135, "No batch has run yet.", "尚未執行批量升級。", "尚未执行批量升级。"},
    {1136, "&Help", "說明(&H)", "帮助(&H)"},
    {1145, "Remember in my settings file when no keyring runs", "沒有金鑰圈時記在我的設定檔中",
     "没有密钥环时记在我的设置文件中"},
    {1090,
     "The network helper firmhand-netcfg is not installed, or you are not in the group firmhand "
     "that may run it, so cameras on other subnets cannot be made reachable. Join the group "
     "(sudo adduser $USER firmhand, then log in again); or install the helper (the Debian "
     "package, or cmake --install as root) and grant its capabilities as root: "
     "setcap cap_net_admin,cap_net_raw+ep %s",
     "未安裝網路輔助程式 firmhand-netcfg，或您不在可執行它的 firmhand 群組中，無法連線其他子網路的"
     "攝影機。請加入該群組（sudo adduser $USER firmhand，然後重新登入）；或安裝它（Debian "
     "套件，或以 "
     "root 執行 cmake --install）並以 root 授予其權限：setcap cap_net_admin,cap_net_raw+ep %s",
     "未安装网络辅助程序 firmhand-netcfg，或您不在可运行它的 firmhand 组中，无法连接其他子网的"
     "摄像机。请加入该组（sudo adduser $USER firmhand，然后重新登录）；或安装它（Debian "
     "软件包，或以 "
     "root 执行 cmake --install）并以 root 授予其权限：setcap cap_net_admin,cap_net_raw+ep %s"},
    {1091,
     "The network helper %s lacks the capabilities CAP_NET_ADMIN and CAP_NET_RAW, so cameras on "
     "other subnets cannot be made reachable. Grant them as root: "
     "setcap cap_net_admin,cap_net_raw+ep %s",
     "網路輔助程式 %s 缺少 CAP_NET_ADMIN 與 CAP_NET_RAW 權限，無法連線其他子網路的攝影機。"
     "請以 root 授予：setcap cap_net_admin,cap_net_raw+ep %s",
     "网络辅助程序 %s 缺少 CAP_NET_ADMIN 和 CAP_NET_RAW 权限，无法连接其他子网的摄像机。"
     "请以 root 授予：setcap cap_net_admin,cap_net_raw+ep %s"},
    {1150, "Packages", "升級套件", "升级包"},
    {1151, "Add model package...", "新增型號套件...", "添加型号升级包..."},
    {1152, "Remove package", "移除套件", "移除升级包"},
    {1153, "Model of the cameras this package is for:", "此套件適用的攝影機型號：",
     "此升级包适用的摄像机型号："},
    {1154, "Credentials file", "帳密檔案", "账号密码文件"},
    {1155, "Browse credentials...", "瀏覽帳密檔案...", "浏览账号密码文件..."},
    {1156, "Force", "強制", "强制"},
    {1157, "Stop after failures:", "失敗次數達到即停止：", "失败次数达到即停止："},
    {1158, "Off", "關閉", "关闭"},
    {1159, "Retry failed", "重試失敗項目", "重试失败项"},
    {1160, "An earlier upgrade run did not finish. Resume it?",
     "先前的升級作業尚未完成。要繼續嗎？", "之前的升级任务未完成。要继续吗？"},
    {1161, "Run %s: %d cameras, %d upgraded, %d skipped, %d failed, %d not finished",
     "作業 %s：%d 台攝影機，%d 台已升級，%d 台已略過，%d 台失敗，%d 台未完成",
     "任务 %s：%d 台摄像机，%d 台已升级，%d 台已跳过，%d 台失败，%d 台未完成"},
    {1162, "Credentials (*)", "帳密檔案 (*)", "账号密码文件 (*)"},
    {1170, "Installing, waiting for the restart", "安裝中，等待重新啟動", "安装中，等待重启"},
    {1171, "Sent, installing", "已傳送，安裝中", "已发送，安装中"},
    {1172, "Upgrade %d cameras?", "要升級 %d 台攝影機嗎？", "要升级 %d 台摄像机吗？"},
    {1173, "Upgrade 1 camera?", "要升級 1 台攝影機嗎？", "要升级 1 台摄像机吗？"},
    {1174,
     "An upgrade batch is running. Quitting cancels it: cameras that already received the "
     "whole package finish installing on their own and are verified when the run is resumed.",
     "升級作業正在進行。結束程式會取消作業：已收到完整升級包的攝影機會自行完成安裝，"
     "並在繼續作業時驗證。",
     "升级任务正在进行。退出程序会取消任务：已收到完整升级包的摄像机会自行完成安装，"
     "并在继续任务时验证。"},
    {1175, "Cancel the batch and quit", "取消作業並結束", "取消任务并退出"},
    {1176, "Keep running", "繼續執行", "继续运行"},
    {1180, "The upgrade did not finish, and the camera gave no more specific cause.",
     "升級未完成，攝影機未說明更具體的原因。", "升级未完成，摄像机未说明更具体的原因。"},
    {1181, "The camera reported an error while it took the package.",
     "攝影機在接收升級包時回報錯誤。", "摄像机在接收升级包时报告错误。"},
    {1182, "The package file could not be read.", "無法讀取升級包檔案。", "无法读取升级包文件。"},
    {1183, "The camera does not take this package: another model's, or a damaged file.",
     "攝影機不接受此升級包：屬於其他型號，或檔案已損壞。",
     "摄像机不接受此升级包：属于其他型号，或文件已损坏。"},
    {1184, "The camera's address or port is not usable.", "攝影機的位址或連接埠無法使用。",
     "摄像机的地址或端口无法使用。"},
    {1185, "The camera restarted but still runs its old version.",
     "攝影機已重新啟動，但仍為舊版本。", "摄像机已重启，但仍为旧版本。"},
    {1186, "The camera speaks a protocol version this program does not support.",
     "攝影機使用本程式不支援的協定版本。", "摄像机使用本程序不支持的协议版本。"},
    {1187, "The connection to the camera broke during the upgrade.", "升級期間與攝影機的連線中斷。",
     "升级期间与摄像机的连接中断。"},
    {1188, "The camera could not be reached on its data port.", "無法透過資料連接埠連線到攝影機。",
     "无法通过数据端口连接到摄像机。"},
    {1189, "The camera refused the user name and password.", "攝影機拒絕了使用者名稱和密碼。",
     "摄像机拒绝了用户名和密码。"},
    {1190, "The camera has too many connections open; try again later.",
     "攝影機開啟的連線過多，請稍後再試。", "摄像机打开的连接过多，请稍后再试。"},
    {1191, "Sending the package to the camera failed.", "傳送升級包到攝影機失敗。",
     "发送升级包到摄像机失败。"},
    {1192,
     "The camera did not come back within the time allowed (WaitRebootTimeout, or "
     "WaitUpgradeModeTimeout for a restart into upgrade mode).",
     "攝影機未在允許的時間內恢復（WaitRebootTimeout，或重新啟動進入升級模式時的 "
     "WaitUpgradeModeTimeout）。",
     "摄像机未在允许的时间内恢复（WaitRebootTimeout，或重启进入升级模式时的 "
     "WaitUpgradeModeTimeout）。"},
    {1194, "Reason:", "原因：", "原因："},
    {1195, "Reason", "原因", "原因"},
    {1196, "CSV file (*.csv);;JSON file (*.json);;HTML report (*.html)",
     "CSV 檔案 (*.csv);;JSON 檔案 (*.json);;HTML 報告 (*.html)",
     "CSV 文件 (*.csv);;JSON 文件 (*.json);;HTML 报告 (*.html)"},
    {1193, "Another Firmhand process on this computer is upgrading this camera right now.",
     "此電腦上的另一個 Firmhand 程式正在升級此攝影機。",
     "此电脑上的另一个 Firmhand 程序正在升级此摄像机。"},
    {1200,
     "Cancel leaves the run as it is: it is offered again at the next start, until a new batch "
     "is started instead.",
     "取消會保留該作業不變：下次啟動時會再次提供，直到改為開始新的批量升級為止。",
     "取消会保留该任务不变：下次启动时会再次提供，直到改为开始新的批量升级为止。"},
    {1201, "Upgrade file:", "升級檔案：", "升级文件："},
    {1202, "Type the package's path or choose Browse", "輸入升級包路徑或按「瀏覽」",
     "输入升级包路径或点击“浏览”"},
    {1203, "The upgrade file does not exist or is not a file.", "升級檔案不存在或不是檔案。",
     "升级文件不存在或不是文件。"},
    {1204, "More options: packages per model, credentials file, failure limit",
     "更多選項：各型號套件、帳密檔案、失敗上限", "更多选项：各型号升级包、账号密码文件、失败上限"},
    {1205, "Developer log lines", "開發人員日誌行", "开发人员日志行"},
    {1206, "Camera found: %1 (%2) at %3, MAC %4", "找到攝影機：%1（%2），位址 %3，MAC %4",
     "发现摄像机：%1（%2），地址 %3，MAC %4"},
    {1207, "Upgrade started: %1 cameras", "開始升級：%1 台攝影機", "开始升级：%1 台摄像机"},
    {1208, "%1 (%2): upgrade started", "%1（%2）：開始升級", "%1（%2）：开始升级"},
    {1209, "%1 (%2): %3", "%1（%2）：%3", "%1（%2）：%3"},
    {1210, "&Language", "語言(&L)", "语言(&L)"},
    {1211, "English", "English", "English"},
    {1212, "繁體中文", "繁體中文", "繁體中文"},
    {1213, "简体中文", "简体中文", "简体中文"},
    {1214, "OK", "確定", "确定"},
    {1215, "Cancel", "取消", "取消"},
    {1230, "History...", "歷史記錄...", "历史记录..."},
    {1231, "History of %1 (%2)", "%1（%2）的歷史記錄", "%1（%2）的历史记录"},
    {1232, "Versions seen", "看過的版本", "见过的版本"},
    {1233, "Upgrade steps", "升級步驟", "升级步骤"},
    {1234, "Version", "版本", "版本"},
    {1235, "First seen", "首次看到", "首次看到"},
    {1236, "Last seen", "最後看到", "最后看到"},
    {1237, "Started", "開始", "开始"},
    {1238, "Ended", "結束", "结束"},
    {1239, "Run", "執行批次", "运行批次"},
    {1240, "Package", "升級包", "升级包"},
    {1241, "SHA-256", "SHA-256", "SHA-256"},
    {1242, "From", "原版本", "原版本"},
    {1243, "To", "新版本", "新版本"},
    {1244, "Result", "結果", "结果"},
    {1245, "Attempts", "嘗試次數", "尝试次数"},
    {1246, "&Inventory...", "設備清冊(&I)...", "设备清单(&I)..."},
    {1247, "Inventory of %1", "%1 的設備清冊", "%1 的设备清单"},
    {1248, "Older than version:", "版本早於：", "版本早于："},
    {1249, "MAC", "MAC", "MAC"},
    {1250, "Name", "名稱", "名称"},
    {1251, "Model", "型號", "型号"},
    {1252, "Addresses", "位址", "地址"},
    {1253, "Site:", "站點：", "站点："},
    {1254, "Customer:", "客戶：", "客户："},
    {1255, "Technician:", "技術人員：", "技术人员："},
    {1256, "Site and &report...", "站點與報告(&R)...", "站点与报告(&R)..."},
    {1257, "Site inventory: %1", "設備清冊：%1", "设备清单：%1"},
    {1258, "%1 must be one line of at most %2 bytes.", "%1 必須是一行，最多 %2 位元組。",
     "%1 必须是一行，最多 %2 字节。"},
    {1259, "Site", "站點", "站点"},
    {1260, "Waiting to be found", "等待搜尋到設備", "等待搜索到设备"},
    {1261, "Not found within %s", "%s 內未搜尋到", "%s 内未搜索到"},
    {1262, "Not found in time", "未在時限內搜尋到", "未在时限内搜索到"},
    {1263, "The search did not find the camera while the batch waited for it.",
     "批量升級等待期間未搜尋到此攝影機。", "批量升级等待期间未搜索到此摄像机。"},
    {1216, "Canary first", "先行升級", "先行升级"},
    {1217, "Pause", "暫停", "暂停"},
    {1218, "Go on", "繼續", "继续"},
    {1219, "Upgrade started: 1 camera", "開始升級：1 台攝影機", "开始升级：1 台摄像机"},
    {1300, "Canaries per model", "每種型號先行台數", "每种型号先行台数"},
    {1301, " per model", " 台／型號", " 台／型号"},
    {1350, "Step", "步驟", "步骤"},
    {1270, "Step %1 of %2", "第 %1 步，共 %2 步", "第 %1 步，共 %2 步"},
    {1302, "Add cameras not found", "加入未搜尋到的設備", "加入未搜索到的设备"},
    {1303, "From the site inventory...", "從站點設備清冊...", "从站点设备清单..."},
    {1304, "By MAC address...", "依 MAC 位址...", "按 MAC 地址..."},
    {1305, "Not found by the search", "搜尋未找到", "搜索未找到"},
    {1306, "Cameras of %1 not found now", "%1 目前未搜尋到的攝影機", "%1 当前未搜索到的摄像机"},
    {1307, "MAC address:", "MAC 位址：", "MAC 地址："},
    {1308, "Not a MAC address: six hex pairs joined by ':' or '-', like 00:1A:2B:3C:4D:5E.",
     "不是 MAC 位址：須為六組十六進位數，以 ':' 或 '-' 連接，例如 00:1A:2B:3C:4D:5E。",
     "不是 MAC 地址：须为六组十六进制数，以 ':' 或 '-' 连接，例如 00:1A:2B:3C:4D:5E。"},
    {1309, "Wait for missing:", "等待未搜尋到的設備：", "等待未搜索到的设备："},
    {1310,
     "How long the batch waits for checked cameras the search has not found: 90s, 10m, 1h30m "
     "(at most 24h)",
     "批量升級等待已勾選但未搜尋到的攝影機的時間：90s、10m、1h30m（最多 24h）",
     "批量升级等待已勾选但未搜索到的摄像机的时间：90s、10m、1h30m（最多 24h）"},
    {1311, "The waiting time is not valid: give it like 90s, 10m or 1h30m, at most 24h.",
     "等待時間無效：請以 90s、10m 或 1h30m 的格式輸入，最多 24h。",
     "等待时间无效：请以 90s、10m 或 1h30m 的格式输入，最多 24h。"},
    {1312,
     "Cameras not found by the search are checked: give the time to wait for them in \"Wait "
     "for missing\" (like 10m), or uncheck them.",
     "已勾選未搜尋到的攝影機：請在「等待未搜尋到的設備」輸入等待時間（例如 10m），或取消勾選。",
     "已勾选未搜索到的摄像机：请在“等待未搜索到的设备”输入等待时间（例如 10m），或取消勾选。"},
    {1313, "Every camera the inventory has seen at this site is in the list.",
     "設備清冊在此站點記錄的攝影機都已在清單中。", "设备清单在此站点记录的摄像机都已在列表中。"},
    {1314, "Add a camera by MAC address", "依 MAC 位址加入攝影機", "按 MAC 地址加入摄像机"},
    {1315, "Add", "加入", "加入"},
    {1316, "This camera is in the list already.", "此攝影機已在清單中。", "此摄像机已在列表中。"},
    {1317, "Not found by the search: checked, the batch waits for it (\"Wait for missing\").",
     "搜尋未找到：勾選後，批量升級會等待它（「等待未搜尋到的設備」）。",
     "搜索未找到：勾选后，批量升级会等待它（“等待未搜索到的设备”）。"},
    {1360, "%d cameras run newer firmware than the package and will be downgraded",
     "%d 台攝影機的韌體比升級包新，將被降級", "%d 台摄像机的固件比升级包新，将被降级"},
    {1361, "1 camera runs newer firmware than the package and will be downgraded",
     "1 台攝影機的韌體比升級包新，將被降級", "1 台摄像机的固件比升级包新，将被降级"},
};

}  // namespace

std::string LoadString(int id, UiLanguage language) {
    for (const StringRow& row : kRows) {
        if (row.id != id) {
            continue;
        }
        switch (language) {
            case UiLanguage::TraditionalChinese:
                return row.traditional;
            case UiLanguage::SimplifiedChinese:
                return row.simplified;
            case UiLanguage::English:
                break;
        }
        return row.english;
    }
    return {};
}

std::string LoadString(int id) {
    return LoadString(id, CurrentLanguage());
}

int StringTableRowCount() {
    return static_cast<int>(std::size(kRows));
}

std::string UpgradeStepText(int step, int steps) {
    std::string text = LoadString(IDS_UPGRADE_STEP);
    for (const auto& [mark, value] : {std::pair{"%1", step}, std::pair{"%2", steps}}) {
        if (const size_t at = text.find(mark); at != std::string::npos) {
            text.replace(at, 2, std::to_string(value));
        }
    }
    return text;
}

std::string DowngradesText(size_t count) {
    if (count == 0) {
        return {};
    }
    if (count == 1) {
        return LoadString(IDS_DOWNGRADES_ONE);
    }
    std::string text = LoadString(IDS_DOWNGRADES);
    if (const size_t at = text.find("%d"); at != std::string::npos) {
        text.replace(at, 2, std::to_string(count));
    }
    return text;
}
