<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Zorvane</name>
    <message>
        <source>隐藏窗口</source>
        <translation>Hide window</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Silence</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>悬浮窗</source>
        <translation>Overlay</translation>
    </message>
    <message>
        <source>悬浮窗点击穿透</source>
        <translation>Overlay click-through</translation>
    </message>
    <message>
        <source>首选项…</source>
        <translation>Settings…</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>显示窗口</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>启动</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>离开期间</source>
        <translation>While you were away</translation>
    </message>
    <message>
        <source>程序未运行期间，以下BOSS已到期：</source>
        <translation>These bosses came due while the program was not running:</translation>
    </message>
    <message>
        <source>BOSS事件</source>
        <translation>Boss</translation>
    </message>
    <message>
        <source>到期时间</source>
        <translation>Due at</translation>
    </message>
    <message>
        <source>错过周期</source>
        <translation>Missed cycles</translation>
    </message>
    <message>
        <source>本周期开始</source>
        <translation>This cycle began</translation>
    </message>
    <message>
        <source>距下次</source>
        <translation>Until next</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>状态：</source>
        <translation>State: </translation>
    </message>
    <message>
        <source>使用</source>
        <translation>Use</translation>
    </message>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>周期(分)</source>
        <translation>Period (min)</translation>
    </message>
    <message>
        <source>延迟(分)</source>
        <translation>Delay (min)</translation>
    </message>
    <message>
        <source>上次时间</source>
        <translation>Last time</translation>
    </message>
    <message>
        <source>下次时间</source>
        <translation>Next time</translation>
    </message>
    <message>
        <source>倒计时</source>
        <translation>Countdown</translation>
    </message>
    <message>
        <source>禁止输入</source>
        <translation>This column cannot be edited</translation>
    </message>
    <message>
        <source>请输入整数数字</source>
        <translation>Please enter a whole number</translation>
    </message>
    <message>
        <source>请输入整数数字大于提示预警分钟</source>
        <translation>Please enter a whole number greater than the warning minutes</translation>
    </message>
    <message>
        <source>请正确输入日期</source>
        <translation>Please enter a valid date and time</translation>
    </message>
    <message>
        <source>找不到这个文件</source>
        <translation>the file does not exist</translation>
    </message>
    <message>
        <source>这不是普通文件</source>
        <translation>this is not a regular file</translation>
    </message>
    <message>
        <source>文件大于 64 MB</source>
        <translation>the file is larger than 64 MB</translation>
    </message>
    <message>
        <source>无法读取这个文件</source>
        <translation>the file cannot be read</translation>
    </message>
    <message>
        <source>这不是可以播放的 WAV 文件</source>
        <translation>this is not a playable WAV file</translation>
    </message>
    <message>
        <source>解码后的声音大于 256 MB</source>
        <translation>the decoded sound is larger than 256 MB</translation>
    </message>
    <message>
        <source>采样率或声道数不合理（%1 Hz，%2 个声道）</source>
        <translation>unreasonable sample rate or number of channels (%1 Hz, %2 channels)</translation>
    </message>
    <message>
        <source>无法加载 SDL2 声音库</source>
        <translation>the SDL2 sound library cannot be loaded</translation>
    </message>
    <message>
        <source>双击</source>
        <translation>double-click</translation>
    </message>
    <message>
        <source>输入</source>
        <translation>typed</translation>
    </message>
    <message>
        <source>自动轮换</source>
        <translation>roll-over</translation>
    </message>
    <message>
        <source>命令行</source>
        <translation>command line</translation>
    </message>
    <message>
        <source>远程</source>
        <translation>remote</translation>
    </message>
    <message>
        <source>快捷键</source>
        <translation>shortcut</translation>
    </message>
    <message>
        <source>右键菜单</source>
        <translation>context menu</translation>
    </message>
    <message>
        <source>服务器重启</source>
        <translation>server restart</translation>
    </message>
    <message>
        <source>未知</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>“%1”不是整数分钟</source>
        <translation>“%1” is not a whole number of minutes</translation>
    </message>
    <message>
        <source>“%1”不在 1 到 %2 分钟之间</source>
        <translation>“%1” is not between 1 and %2 minutes</translation>
    </message>
    <message>
        <source>最多 %1 个提前时间</source>
        <translation>at most %1 lead times</translation>
    </message>
    <message>
        <source>提前 %1 分钟的提醒不会响：不短于周期 %2 分钟</source>
        <translation>the reminders %1 minutes ahead will not sound: they are not shorter than the period of %2 minutes</translation>
    </message>
    <message>
        <source>%1 分钟后刷新</source>
        <translation>respawns in %1 min</translation>
    </message>
    <message>
        <source>%1 分 %2 秒后刷新</source>
        <translation>respawns in %1 min %2 s</translation>
    </message>
    <message>
        <source>%1 秒后刷新</source>
        <translation>respawns in %1 s</translation>
    </message>
    <message>
        <source>已刷新</source>
        <translation>has respawned</translation>
    </message>
    <message>
        <source>显示</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>（无名）</source>
        <translation>(no name)</translation>
    </message>
    <message>
        <source>记录击杀：%1</source>
        <translation>Record kill: %1</translation>
    </message>
    <message>
        <source>新增第%1行</source>
        <translation>Add row %1</translation>
    </message>
    <message>
        <source>删除：%1</source>
        <translation>Delete: %1</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>删除第%1行“%2”？
可以用 Ctrl+Z 撤销。</source>
        <translation>Delete row %1 “%2”?
Ctrl+Z undoes it.</translation>
    </message>
    <message>
        <source>记录击杀</source>
        <translation>Record kill</translation>
    </message>
    <message>
        <source>“%1”是几分钟前被击杀的？</source>
        <translation>How many minutes ago was “%1” killed?</translation>
    </message>
    <message>
        <source>使用：%1</source>
        <translation>Use: %1</translation>
    </message>
    <message>
        <source>编辑：%1</source>
        <translation>Edit: %1</translation>
    </message>
    <message>
        <source>点击按剩余时间排序（升序、降序、原顺序）

</source>
        <translation>Click to sort by time left (ascending, descending, table order)

</translation>
    </message>
    <message>
        <source>-历史记录.csv</source>
        <translation>-history.csv</translation>
    </message>
    <message>
        <source>历史记录 - </source>
        <translation>History - </translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>来源</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>发送者</source>
        <translation>Sender</translation>
    </message>
    <message>
        <source>导出 CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>%1&#x3000;周期 %2 分，延迟 %3 分&#x3000;（共 %4 条记录）</source>
        <translation>%1   period %2 min, delay %3 min   (%4 records)</translation>
    </message>
    <message>
        <source>击杀间隔：至少要有两次击杀才能算出间隔。</source>
        <translation>Kill intervals: at least two kills are needed to compute an interval.</translation>
    </message>
    <message>
        <source>击杀间隔 %1 个：最短 %2，中位 %3，最长 %4</source>
        <translation>%1 kill intervals: shortest %2, median %3, longest %4</translation>
    </message>
    <message>
        <source>配置的周期加延迟（%1）</source>
        <translation>the configured period plus delay (%1)</translation>
    </message>
    <message>
        <source>中位间隔与</source>
        <translation>The median interval equals </translation>
    </message>
    <message>
        <source>相同。</source>
        <translation>.</translation>
    </message>
    <message>
        <source>中位间隔比%1%2 %3。</source>
        <translation>The median interval is %3 %2 than %1.</translation>
    </message>
    <message>
        <source>长</source>
        <translation>longer</translation>
    </message>
    <message>
        <source>短</source>
        <translation>shorter</translation>
    </message>
    <message>
        <source>历史记录不可用：</source>
        <translation>History unavailable: </translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv);;所有文件 (*)</source>
        <translation>CSV files (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>已导出到 </source>
        <translation>Exported to </translation>
    </message>
    <message>
        <source>导出失败：</source>
        <translation>Export failed: </translation>
    </message>
    <message>
        <source>提前提醒 - %1</source>
        <translation>Reminders ahead - %1</translation>
    </message>
    <message>
        <source>无</source>
        <translation>none</translation>
    </message>
    <message>
        <source>本行使用自己的提前时间（首选项中为：%1）</source>
        <translation>This row uses its own lead times (in the preferences: %1)</translation>
    </message>
    <message>
        <source>分钟，如 15, 3；留空则只在预警分钟提醒</source>
        <translation>minutes, e.g. 15, 3; empty: only at the warning minutes</translation>
    </message>
    <message>
        <source>预警分钟（编辑框）总会提醒；这里是另外的提前时间。</source>
        <translation>The warning minutes (top row) always remind; these are further lead times.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>这一行已被删除</source>
        <translation>This row has been deleted</translation>
    </message>
    <message>
        <source>新增</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>提前     分钟预警</source>
        <translation>Warn    min ahead</translation>
    </message>
    <message>
        <source>首选项</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>显示或隐藏悬浮窗（Ctrl+Shift+O）</source>
        <translation>Show or hide the overlay (Ctrl+Shift+O)</translation>
    </message>
    <message>
        <source>标签</source>
        <translation>Clock</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>已击杀（现在）</source>
        <translation>Killed (now)</translation>
    </message>
    <message>
        <source>已击杀（几分钟前）…</source>
        <translation>Killed (minutes ago)…</translation>
    </message>
    <message>
        <source>历史记录…</source>
        <translation>History…</translation>
    </message>
    <message>
        <source>提前提醒…</source>
        <translation>Reminders ahead…</translation>
    </message>
    <message>
        <source>删除…</source>
        <translation>Delete…</translation>
    </message>
    <message>
        <source>北京时间：</source>
        <translation>Beijing time: </translation>
    </message>
    <message>
        <source>信息：</source>
        <translation>Information:</translation>
    </message>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Zorvane 悬浮窗</source>
        <translation>Zorvane overlay</translation>
    </message>
    <message>
        <source>没有启用的BOSS</source>
        <translation>No boss enabled</translation>
    </message>
    <message>
        <source>显示数量</source>
        <translation>Rows shown</translation>
    </message>
    <message>
        <source>点击穿透</source>
        <translation>Click-through</translation>
    </message>
    <message>
        <source>隐藏</source>
        <translation>Hide</translation>
    </message>
    <message>
        <source>显示桌面通知</source>
        <translation>Show desktop notifications</translation>
    </message>
    <message>
        <source>例如 10, 1</source>
        <translation>e.g. 10, 1</translation>
    </message>
    <message>
        <source>额外提前(分钟)：</source>
        <translation>Extra lead (minutes):</translation>
    </message>
    <message>
        <source>主窗口预警之外再提醒的分钟数，用逗号分隔</source>
        <translation>Minutes to remind besides the main window&apos;s warning, separated by commas</translation>
    </message>
    <message>
        <source> 秒</source>
        <translation> s</translation>
    </message>
    <message>
        <source>不重复</source>
        <translation>no repeat</translation>
    </message>
    <message>
        <source>到点后每隔：</source>
        <translation>When due, repeat every:</translation>
    </message>
    <message>
        <source> 分钟</source>
        <translation> min</translation>
    </message>
    <message>
        <source>重复提醒，最多：</source>
        <translation>Repeat for at most:</translation>
    </message>
    <message>
        <source>提醒</source>
        <translation>Alerts</translation>
    </message>
    <message>
        <source>音量：</source>
        <translation>Volume:</translation>
    </message>
    <message>
        <source>铃声之后朗读BOSS名称</source>
        <translation>Speak the boss name after the chime</translation>
    </message>
    <message>
        <source>声音</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>mqtts://用户@服务器/房间（空：不共享）</source>
        <translation>mqtts://user@server/room (empty: no sharing)</translation>
    </message>
    <message>
        <source>房间链接：</source>
        <translation>Room link:</translation>
    </message>
    <message>
        <source>密码：</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>昵称：</source>
        <translation>Nickname:</translation>
    </message>
    <message>
        <source>空：系统的证书</source>
        <translation>empty: the system&apos;s certificates</translation>
    </message>
    <message>
        <source>选择…</source>
        <translation>Choose…</translation>
    </message>
    <message>
        <source>CA 证书：</source>
        <translation>CA certificates:</translation>
    </message>
    <message>
        <source>共享的BOSS：</source>
        <translation>Shared bosses:</translation>
    </message>
    <message>
        <source>共享</source>
        <translation>Sharing</translation>
    </message>
    <message>
        <source>CA 证书</source>
        <translation>CA certificates</translation>
    </message>
    <message>
        <source>界面语言：</source>
        <translation>Language:</translation>
    </message>
    <message>
        <source>更改语言在下次启动时生效。</source>
        <translation>A change of language takes effect at the next start.</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>不是房间链接：%1</source>
        <translation>Not a room link: %1</translation>
    </message>
    <message>
        <source>昵称须为 1 到 %1 个字节</source>
        <translation>The nickname must be 1 to %1 bytes</translation>
    </message>
    <message>
        <source>昵称不能含控制字符</source>
        <translation>The nickname cannot contain control characters</translation>
    </message>
    <message>
        <source>无法读取 CA 证书：%1</source>
        <translation>Cannot read the CA certificates: %1</translation>
    </message>
    <message>
        <source>无法写入设置文件：%1</source>
        <translation>Cannot write the settings file: %1</translation>
    </message>
    <message>
        <source>分线文件无法读取，未作改动：%1</source>
        <translation>The lines file cannot be read; nothing was changed: %1</translation>
    </message>
    <message>
        <source>分线或服务器无效：不能为空或重复，每个服务器最多 %1 条线，最多 %2 个服务器</source>
        <translation>Invalid lines or servers: none may be empty or given twice, at most %1 lines per server and %2 servers</translation>
    </message>
    <message>
        <source>备注文件无法读取，未作改动：%1</source>
        <translation>The notes file cannot be read; nothing was changed: %1</translation>
    </message>
    <message>
        <source>位置：%1</source>
        <translation>Location: %1</translation>
    </message>
    <message>
        <source>掉落：%1</source>
        <translation>Drops: %1</translation>
    </message>
    <message>
        <source>备注 - %1</source>
        <translation>Note - %1</translation>
    </message>
    <message>
        <source>地图、坐标</source>
        <translation>Map, coordinates</translation>
    </message>
    <message>
        <source>位置：</source>
        <translation>Location:</translation>
    </message>
    <message>
        <source>掉落：</source>
        <translation>Drops:</translation>
    </message>
    <message>
        <source>备注：</source>
        <translation>Note:</translation>
    </message>
    <message>
        <source>备注太长：最多 %1 字节</source>
        <translation>The note is too long: at most %1 bytes</translation>
    </message>
    <message>
        <source>备注…</source>
        <translation>Note…</translation>
    </message>
    <message>
        <source>未能共享 %1：%2</source>
        <translation>Could not share %1: %2</translation>
    </message>
    <message>
        <source>未能把服务器重启告知房间：%1</source>
        <translation>Could not tell the room of the server restart: %1</translation>
    </message>
    <message>
        <source>%1 报告服务器已于 %2 重启</source>
        <translation>%1 reports the server restarted at %2</translation>
    </message>
    <message>
        <source>链接无效：%1</source>
        <translation>Invalid link: %1</translation>
    </message>
    <message>
        <source>无法加入：%1</source>
        <translation>Cannot join: %1</translation>
    </message>
    <message>
        <source>房间 %1：</source>
        <translation>Room %1: </translation>
    </message>
    <message>
        <source>正在连接…</source>
        <translation>connecting…</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>connected</translation>
    </message>
    <message>
        <source>正在重新连接…</source>
        <translation>reconnecting…</translation>
    </message>
    <message>
        <source>正在重新连接（%1）</source>
        <translation>reconnecting (%1)</translation>
    </message>
    <message>
        <source>被拒绝：%1</source>
        <translation>refused: %1</translation>
    </message>
    <message>
        <source>%1 个新 BOSS 可添加</source>
        <translation>%1 new bosses to add</translation>
    </message>
    <message>
        <source>
已丢弃 %1 条无效消息</source>
        <translation>
%1 invalid messages dropped</translation>
    </message>
    <message>
        <source>
%1 条击杀等待服务器确认</source>
        <translation>
%1 kills awaiting the server&apos;s confirmation</translation>
    </message>
    <message>
        <source>
点击查看新 BOSS</source>
        <translation>
Click to see the new bosses</translation>
    </message>
    <message>
        <source>房间里的新 BOSS</source>
        <translation>New bosses in the room</translation>
    </message>
    <message>
        <source>房间成员击杀了表格中没有的 BOSS：</source>
        <translation>Room members killed bosses that are not in the table:</translation>
    </message>
    <message>
        <source>添加到表格</source>
        <translation>Add to the table</translation>
    </message>
    <message>
        <source>%1&#x3000;周期 %2 分&#x3000;上次 %3（%4）</source>
        <translation>%1   period %2 min   last %3 (%4)</translation>
    </message>
    <message>
        <source>未启用</source>
        <translation>Not enabled</translation>
    </message>
    <message>
        <source>倒计时中</source>
        <translation>Counting down</translation>
    </message>
    <message>
        <source>预警时间内</source>
        <translation>Within the warning time</translation>
    </message>
    <message>
        <source>一分钟内到期</source>
        <translation>Due within a minute</translation>
    </message>
    <message>
        <source>未计时</source>
        <translation>Not timed</translation>
    </message>
    <message>
        <source>绿色：倒计时中
橙色、粗体、▲：预警时间内
蓝色、◐：刷新窗口已开
红色、粗体、●：一分钟内到期
灰色斜体：未启用（不报警）</source>
        <translation>Green: counting down
Orange, bold, ▲: within the warning time
Blue, ◐: the spawn window is open
Red, bold, ●: due within a minute
Grey italic: not enabled (no alarm)</translation>
    </message>
    <message>
        <source>刷新窗口已开</source>
        <translation>Spawn window open</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open file</translation>
    </message>
    <message>
        <source>所有文件(*.*)|*.*</source>
        <translation>All files(*.*)|*.*</translation>
    </message>
    <message>
        <source>无法播放所选的声音文件：%1
原因：%2
预警时将播放内置声音。</source>
        <translation>The chosen sound file cannot be played: %1
Reason: %2
The built-in sound will play at warnings.</translation>
    </message>
    <message>
        <source>未能写入：</source>
        <translation>Could not write: </translation>
    </message>
    <message>
        <source>
已有 %1 个新 BOSS，另有 %2 条未知 BOSS 的击杀未列出</source>
        <translation>
%1 new bosses on offer; %2 more kills of unknown bosses were not listed</translation>
    </message>
    <message>
        <source>%1 不是普通文件，首选项的更改只在本次运行中有效</source>
        <translation>%1 is not a regular file; changes to the preferences last for this run only</translation>
    </message>
    <message>
        <source>未能读取：</source>
        <translation>Could not read: </translation>
    </message>
    <message>
        <source>语音合成无法启动（libespeak-ng 或其语音数据缺失），提醒不会朗读</source>
        <translation>Speech synthesis cannot start (libespeak-ng or its voice data is missing); alerts are not spoken</translation>
    </message>
    <message>
        <source>语音合成找不到语音“%1”（语音数据缺失？），提醒不会朗读</source>
        <translation>Speech synthesis finds no voice “%1” (voice data missing?); alerts are not spoken</translation>
    </message>
    <message>
        <source>语音合成失败（espeak-ng 错误 %1），提醒未朗读</source>
        <translation>Speech synthesis failed (espeak-ng error %1); the alert was not spoken</translation>
    </message>
    <message>
        <source>未能获取公告：</source>
        <translation>Could not fetch the announcement: </translation>
    </message>
    <message>
        <source>倒计时未能启动（无法创建线程），不会刷新也不会提醒；请点“启动”重试</source>
        <translation>The countdown could not start (no thread could be made); nothing counts or alerts. Click “Start” to try again</translation>
    </message>
    <message>
        <source>缺少翻译 %1，部分文字未翻译</source>
        <translation>No translation %1; some texts stay untranslated</translation>
    </message>
    <message>
        <source>无法等候第二次启动：%1；再次启动会打开第二个窗口</source>
        <translation>Cannot wait for a second start: %1; a second start will open a second window</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>本机与 %1 的时钟相差 %2 秒</source>
        <translation>this computer’s clock and %1’s differ by %2 s</translation>
    </message>
    <message>
        <source>声音故障：</source>
        <translation>Sound trouble: </translation>
    </message>
    <message>
        <source>窗口中的内容仍在，下次写入时会再试。</source>
        <translation>What the window shows is kept; the next write tries again.</translation>
    </message>
    <message>
        <source>%1时%2分%3秒</source>
        <translation>%1:%2:%3</translation>
    </message>
    <message>
        <source>%1天%2时%3分%4秒</source>
        <translation>%1 d %2:%3:%4</translation>
    </message>
    <message>
        <source>%1天%2时%3分</source>
        <translation>%1 d %2 h %3 min</translation>
    </message>
    <message>
        <source>%1分%2秒</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>该路径不是普通文件</source>
        <translation>the path is not a regular file</translation>
    </message>
    <message>
        <source>由更新版本的程序创建（版本 %1）</source>
        <translation>created by a newer version of the program (version %1)</translation>
    </message>
    <message>
        <source>历史记录数据库已损坏且无法移开，击杀暂不记入历史：%1（%2；%3）</source>
        <translation>The history database is damaged and cannot be moved aside, kills are not recorded for now: %1 (%2; %3)</translation>
    </message>
    <message>
        <source>历史记录数据库已损坏，已移到一旁并新建：%1（%2）</source>
        <translation>The history database was damaged, moved aside and created anew: %1 (%2)</translation>
    </message>
    <message>
        <source>历史记录数据库已损坏，已移到一旁，但无法新建，击杀暂不记入历史：%1（%2；%3）</source>
        <translation>The history database was damaged and moved aside, but a new one cannot be created, kills are not recorded for now: %1 (%2; %3)</translation>
    </message>
    <message>
        <source>无法打开历史记录数据库，击杀暂不记入历史：%1（%2）</source>
        <translation>Cannot open the history database, kills are not recorded for now: %1 (%2)</translation>
    </message>
    <message>
        <source>历史记录写入失败，%1 条击杀未记入（%2）</source>
        <translation>Writing the history failed, %1 kills not recorded (%2)</translation>
    </message>
    <message>
        <source>历史记录不可用</source>
        <translation>the history is not available</translation>
    </message>
    <message>
        <source>无法写入 %1</source>
        <translation>cannot write %1</translation>
    </message>
    <message>
        <source>房间连接已经启动</source>
        <translation>the room connection has already started</translation>
    </message>
    <message>
        <source>无法创建 MQTT 客户端</source>
        <translation>could not create the MQTT client</translation>
    </message>
    <message>
        <source>用户名不被接受：%1</source>
        <translation>the user name was not accepted: %1</translation>
    </message>
    <message>
        <source>无法使用 CA 文件“%1”</source>
        <translation>the CA file “%1” cannot be used</translation>
    </message>
    <message>
        <source>无法使用系统的证书颁发机构</source>
        <translation>the system&apos;s certificate authorities cannot be used</translation>
    </message>
    <message>
        <source>无法连接到服务器</source>
        <translation>cannot reach the broker</translation>
    </message>
    <message>
        <source>连接已断开</source>
        <translation>the connection was lost</translation>
    </message>
    <message>
        <source>服务器拒绝了用户名或密码（未授权）</source>
        <translation>the broker refused the user name or password (not authorised)</translation>
    </message>
    <message>
        <source>服务器不允许读取房间的主题</source>
        <translation>the broker does not let us read the room&apos;s topics</translation>
    </message>
    <message>
        <source>TLS 连接失败：服务器的证书不受信任或与主机名不符</source>
        <translation>the TLS connection failed: the broker&apos;s certificate is not trusted or does not name the host</translation>
    </message>
    <message>
        <source>TLS 连接失败（%1）</source>
        <translation>the TLS connection failed (%1)</translation>
    </message>
    <message>
        <source>“%1”中没有证书（需要 PEM 格式的 CA 证书）</source>
        <translation>“%1” holds no certificate (a CA certificate in PEM form is needed)</translation>
    </message>
    <message>
        <source>服务器在该端口不使用 TLS（可能是 mqtt:// 的普通端口）</source>
        <translation>the broker does not speak TLS on this port (it may be a plain mqtt:// port)</translation>
    </message>
    <message>
        <source>击杀时间在将来：晚于现在超过 %1 秒</source>
        <translation>the kill lies in the future: more than %1 s after now</translation>
    </message>
    <message>
        <source>重复击杀过早：距上次击杀 %1 分钟，该 BOSS 约 %2 分钟才刷新</source>
        <translation>re-killed too early: %1 min after the last kill, while the boss takes about %2 min to return</translation>
    </message>
    <message>
        <source>一分钟内超过 %1 次击杀</source>
        <translation>more than %1 kills within a minute</translation>
    </message>
    <message>
        <source>只有官员可以撤回其他成员的击杀</source>
        <translation>only an officer may retract another member&apos;s kill</translation>
    </message>
    <message>
        <source>只读</source>
        <translation>reader</translation>
    </message>
    <message>
        <source>记录员</source>
        <translation>recorder</translation>
    </message>
    <message>
        <source>官员</source>
        <translation>officer</translation>
    </message>
    <message>
        <source>成员（服务器未分角色）</source>
        <translation>member (the broker sets no roles)</translation>
    </message>
    <message>
        <source>你的账户在此房间只能接收，不能发送</source>
        <translation>your account may only receive in this room, not send</translation>
    </message>
    <message>
        <source>服务器不允许你的账户发送这条消息</source>
        <translation>the broker does not allow your account to send this</translation>
    </message>
    <message>
        <source>消息太大，服务器拒收</source>
        <translation>the message is too large for the broker</translation>
    </message>
    <message>
        <source>超出服务器的配额</source>
        <translation>the broker&apos;s quota is exceeded</translation>
    </message>
    <message>
        <source>服务器已禁止此账户</source>
        <translation>the broker has banned this account</translation>
    </message>
    <message>
        <source>服务器暂时不可用</source>
        <translation>the broker is unavailable for now</translation>
    </message>
    <message>
        <source>服务器管理员断开了连接（账户可能已被撤销）</source>
        <translation>the broker&apos;s administrator ended the connection (the account may have been revoked)</translation>
    </message>
    <message>
        <source>另一个相同标识的客户端连接了服务器</source>
        <translation>another client with the same identity connected to the broker</translation>
    </message>
    <message>
        <source>服务器正在关闭</source>
        <translation>the broker is shutting down</translation>
    </message>
    <message>
        <source>服务器拒绝：%1（代码 %2）</source>
        <translation>the broker refused: %1 (code %2)</translation>
    </message>
    <message>
        <source>服务器不支持 MQTT 5（需要 mosquitto 1.6 或更新版本等支持 MQTT 5 的服务器）</source>
        <translation>the broker does not speak MQTT 5 (mosquitto 1.6 or later, or another MQTT 5 broker, is needed)</translation>
    </message>
    <message>
        <source>服务器拒收了 %1：%2</source>
        <translation>the broker did not take %1: %2</translation>
    </message>
    <message>
        <source>这条击杀不在房间的记录中，无法撤回</source>
        <translation>this kill is not in the room&apos;s record and cannot be retracted</translation>
    </message>
    <message>
        <source>房间记录未能写入历史记录数据库：%1（%2）</source>
        <translation>the room&apos;s record could not be written to the history database: %1 (%2)</translation>
    </message>
    <message>
        <source>房间链接以 mqtt:// 或 mqtts:// 开头</source>
        <translation>a room link starts with mqtt:// or mqtts://</translation>
    </message>
    <message>
        <source>链接中没有房间（主机之后应为 …/房间）</source>
        <translation>the link names no room (expected …/room after the host)</translation>
    </message>
    <message>
        <source>密码不应写在链接中，请在首选项中输入</source>
        <translation>a password does not belong in the link; enter it in the preferences</translation>
    </message>
    <message>
        <source>“@”之前的用户名为空或含有不允许的字符</source>
        <translation>the user name before “@” is empty or contains a character not allowed</translation>
    </message>
    <message>
        <source>IPv6 地址缺少结尾的“]”</source>
        <translation>the IPv6 address has no closing “]”</translation>
    </message>
    <message>
        <source>“%1”不是 IPv6 地址</source>
        <translation>“%1” is not an IPv6 address</translation>
    </message>
    <message>
        <source>IPv6 地址之后有多余的文字</source>
        <translation>unexpected text after the IPv6 address</translation>
    </message>
    <message>
        <source>“:”之后的端口为空</source>
        <translation>the port after “:” is empty</translation>
    </message>
    <message>
        <source>链接中没有主机</source>
        <translation>the link names no host</translation>
    </message>
    <message>
        <source>“%1”不是主机名或地址</source>
        <translation>“%1” is not a host name or address</translation>
    </message>
    <message>
        <source>端口须为 1 到 65535 之间的数字</source>
        <translation>the port must be a number from 1 to 65535</translation>
    </message>
    <message>
        <source>房间名长于 %1 字节</source>
        <translation>the room name is longer than %1 bytes</translation>
    </message>
    <message>
        <source>房间名含有空格或控制字符</source>
        <translation>the room name contains a space or a control character</translation>
    </message>
    <message>
        <source>房间名不能含有“%1”</source>
        <translation>the room name may not contain “%1”</translation>
    </message>
    <message>
        <source>无法启动 %1：%2</source>
        <translation>cannot start %1: %2</translation>
    </message>
    <message>
        <source>页面大于 %1 字节</source>
        <translation>the page is larger than %1 bytes</translation>
    </message>
    <message>
        <source>公告助手程序崩溃了</source>
        <translation>the announcement helper crashed</translation>
    </message>
    <message>
        <source>公告助手程序以 %1 结束</source>
        <translation>the announcement helper ended with %1</translation>
    </message>
    <message>
        <source>已取消</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>下载失败：%1</source>
        <translation>download failed: %1</translation>
    </message>
    <message>
        <source>页面中没有位于“【”和“】”之间的公告</source>
        <translation>the page holds no announcement between the opening and closing marks</translation>
    </message>
    <message>
        <source>%1；%2</source>
        <translation>%1; %2</translation>
    </message>
    <message>
        <source>无法启动声音进程 %1</source>
        <translation>cannot start the sound program %1</translation>
    </message>
    <message>
        <source>无法启动声音进程 %1：%2</source>
        <translation>cannot start the sound program %1: %2</translation>
    </message>
    <message>
        <source>声音进程意外结束（%1）</source>
        <translation>the sound program ended unexpectedly (%1)</translation>
    </message>
    <message>
        <source>声音进程意外结束（退出码 %1）</source>
        <translation>the sound program ended unexpectedly (exit code %1)</translation>
    </message>
    <message>
        <source>声音进程 %1 接连无应答地结束</source>
        <translation>the sound program %1 ended twice in a row without answering</translation>
    </message>
    <message>
        <source>%1，改由本程序直接播放</source>
        <translation>%1; sound now plays in Zorvane itself</translation>
    </message>
    <message>
        <source>预警声音未能播放</source>
        <translation>the alarm sound could not be played</translation>
    </message>
    <message>
        <source>预警声音未能播放：%1</source>
        <translation>the alarm sound could not be played: %1</translation>
    </message>
    <message>
        <source>无法加载 MQTT 库：%1</source>
        <translation>cannot load the MQTT library: %1</translation>
    </message>
    <message>
        <source>地址里没有主机名，或端口超出范围</source>
        <translation>the address names no host, or its port is out of range</translation>
    </message>
    <message>
        <source>无法建立这个请求</source>
        <translation>the request could not be set up</translation>
    </message>
    <message>
        <source>回答大于 %1 字节</source>
        <translation>the answer is larger than %1 bytes</translation>
    </message>
    <message>
        <source>%1 %2后刷新</source>
        <translation>%1 spawns in %2</translation>
    </message>
    <message>
        <source>%1 刷新窗口已开启</source>
        <translation>%1: the spawn window is open</translation>
    </message>
    <message>
        <source>%1 现在刷新</source>
        <translation>%1 spawns now</translation>
    </message>
    <message>
        <source>%1 已刷新 %2 分钟，仍未记录击杀</source>
        <translation>%1 spawned %2 min ago; no kill recorded</translation>
    </message>
    <message>
        <source>%1 分钟</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>刷新时间 %1</source>
        <translation>spawn time %1</translation>
    </message>
    <message>
        <source>服务器回答 HTTP %1</source>
        <translation>the server answered HTTP %1</translation>
    </message>
    <message>
        <source>服务器回答 HTTP %1：%2</source>
        <translation>the server answered HTTP %1: %2</translation>
    </message>
    <message>
        <source>%1 秒内没有回答</source>
        <translation>no answer within %1 s</translation>
    </message>
    <message>
        <source>尝试 %1 次后放弃：%2</source>
        <translation>gave up after %1 attempts: %2</translation>
    </message>
    <message>
        <source>%1 条提醒已过时，未发送</source>
        <translation>%1 alerts were out of date and not sent</translation>
    </message>
    <message>
        <source>待发送的提醒过多，已丢弃 %1 条</source>
        <translation>too many alerts waiting; %1 dropped</translation>
    </message>
    <message>
        <source>推送地址须以 http:// 或 https:// 开头并含有主机名</source>
        <translation>a push address starts with http:// or https:// and names a host</translation>
    </message>
    <message>
        <source>Discord Webhook 地址形如 https://discord.com/api/webhooks/数字/令牌</source>
        <translation>a Discord webhook address looks like https://discord.com/api/webhooks/number/token</translation>
    </message>
    <message>
        <source>ntfy 地址形如 https://ntfy.sh/主题（主题只含字母、数字、- 和 _，最多 64 个）</source>
        <translation>an ntfy address looks like https://ntfy.sh/topic (the topic holds up to 64 letters, digits, - and _)</translation>
    </message>
    <message>
        <source>未知的推送类型“%1”</source>
        <translation>unknown push kind “%1”</translation>
    </message>
    <message>
        <source>无法读取推送设置 %1</source>
        <translation>cannot read the push settings %1</translation>
    </message>
    <message>
        <source>推送设置 %1 不是有效的 JSON（第 %2 字节），推送已关闭，文件保持原样</source>
        <translation>the push settings %1 are not valid JSON (byte %2); pushing is off and the file is left as it is</translation>
    </message>
    <message>
        <source>推送设置 %1 中的第 %2 个目标已跳过：%3</source>
        <translation>target %2 in the push settings %1 was skipped: %3</translation>
    </message>
    <message>
        <source>推送到“%1”失败：%2</source>
        <translation>pushing to “%1” failed: %2</translation>
    </message>
    <message>
        <source>旧版成员</source>
        <translation>Member of an earlier version</translation>
    </message>
    <message>
        <source>记录</source>
        <translation>Recorded</translation>
    </message>
    <message>
        <source>收到</source>
        <translation>Received</translation>
    </message>
    <message>
        <source>撤回</source>
        <translation>Retracted</translation>
    </message>
    <message>
        <source>拒绝</source>
        <translation>Refused</translation>
    </message>
    <message>
        <source>事件</source>
        <translation>Event</translation>
    </message>
    <message>
        <source>成员</source>
        <translation>Member</translation>
    </message>
    <message>
        <source>BOSS</source>
        <translation>Boss</translation>
    </message>
    <message>
        <source>击杀时间</source>
        <translation>Kill time</translation>
    </message>
    <message>
        <source>说明</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>撤回 %1 的击杀</source>
        <translation>Retracted a kill of %1</translation>
    </message>
    <message>
        <source>官员；</source>
        <translation>Officer; </translation>
    </message>
    <message>
        <source>成员（本机所见）：</source>
        <translation>Members (as seen here):</translation>
    </message>
    <message>
        <source>采用的击杀</source>
        <translation>Kills taken</translation>
    </message>
    <message>
        <source>被拒绝</source>
        <translation>Refused</translation>
    </message>
    <message>
        <source>最近的拒绝原因</source>
        <translation>Latest refusal reason</translation>
    </message>
    <message>
        <source>房间记录：</source>
        <translation>Room log:</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>房间 %1</source>
        <translation>Room %1</translation>
    </message>
    <message>
        <source>本成员的角色：尚未知道</source>
        <translation>Your role: not known yet</translation>
    </message>
    <message>
        <source>此房间由旧版房间脚本建立：请管理员运行“zorvane-room upgrade %1”，角色变更才能干净地生效。</source>
        <translation>This room was made by an earlier room script: ask an administrator to run “zorvane-room upgrade %1” so that role changes take effect cleanly.</translation>
    </message>
    <message>
        <source>本成员的角色：%1</source>
        <translation>Your role: %1</translation>
    </message>
    <message>
        <source>新 BOSS（%1）…</source>
        <translation>New bosses (%1)…</translation>
    </message>
    <message>
        <source>时间在未来</source>
        <translation>time in the future</translation>
    </message>
    <message>
        <source>重复击杀过早</source>
        <translation>re-kill too early</translation>
    </message>
    <message>
        <source>本机没有这条线</source>
        <translation>no such line here</translation>
    </message>
    <message>
        <source>本机没有这个服务器</source>
        <translation>no such server here</translation>
    </message>
    <message>
        <source>分线</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>每分钟过多</source>
        <translation>too many a minute</translation>
    </message>
    <message>
        <source>撤回他人的击杀</source>
        <translation>retracting another&apos;s kill</translation>
    </message>
    <message>
        <source>房间里没有 %1 的击杀</source>
        <translation>The room has no kill of %1</translation>
    </message>
    <message>
        <source>未能撤回 %1：%2</source>
        <translation>Could not retract %1: %2</translation>
    </message>
    <message>
        <source>撤回（所有成员）</source>
        <translation>Retract (for all members)</translation>
    </message>
    <message>
        <source>击杀</source>
        <translation>Kills</translation>
    </message>
    <message>
        <source>房间记录（%1）</source>
        <translation>Room log (%1)</translation>
    </message>
    <message>
        <source>%1 条被拒绝</source>
        <translation>%1 refused</translation>
    </message>
    <message>
        <source>无法启动推送程序 %1：%2</source>
        <translation>cannot start the push program %1: %2</translation>
    </message>
    <message>
        <source>首领列表大于 %1 MB</source>
        <translation>the boss list is larger than %1 MB</translation>
    </message>
    <message>
        <source>首领列表不是有效的 JSON（第 %1 字节）</source>
        <translation>the boss list is not valid JSON (byte %1)</translation>
    </message>
    <message>
        <source>这不是 Zorvane 的首领列表</source>
        <translation>this is not a Zorvane boss list</translation>
    </message>
    <message>
        <source>首领列表的版本是 %1，本程序只读得懂版本 %2</source>
        <translation>the boss list is version %1; this program reads version %2 only</translation>
    </message>
    <message>
        <source>首领列表嵌套超过 %1 层</source>
        <translation>the boss list is nested deeper than %1 levels</translation>
    </message>
    <message>
        <source>“%1”超过 %2 项</source>
        <translation>“%1” has more than %2 entries</translation>
    </message>
    <message>
        <source>“%1”：%2</source>
        <translation>“%1”: %2</translation>
    </message>
    <message>
        <source>第 %1 个首领（%2）的“%3”：%4</source>
        <translation>boss %1 (%2), “%3”: %4</translation>
    </message>
    <message>
        <source>类型不对</source>
        <translation>wrong type</translation>
    </message>
    <message>
        <source>应为 %1 到 %2 之间的整数</source>
        <translation>should be a whole number from %1 to %2</translation>
    </message>
    <message>
        <source>读不懂规则“%1”</source>
        <translation>cannot read the rule “%1”</translation>
    </message>
    <message>
        <source>读不懂时区“%1”</source>
        <translation>cannot read the time zone “%1”</translation>
    </message>
    <message>
        <source>长于 %1 字节</source>
        <translation>longer than %1 bytes</translation>
    </message>
    <message>
        <source>名字“%1”为空、有控制字符、首尾有空白或长于 %2 字节，config.ini 存不下</source>
        <translation>the name “%1” is empty, has control characters or blanks around it, or is longer than %2 bytes: config.ini cannot hold it</translation>
    </message>
    <message>
        <source>第 %1 个首领没有名字</source>
        <translation>boss %1 has no name</translation>
    </message>
    <message>
        <source>首领“%1”出现了不止一次</source>
        <translation>the boss “%1” is listed more than once</translation>
    </message>
    <message>
        <source>服务器“%1”不在列表的服务器中</source>
        <translation>the server “%1” is not among the list&apos;s servers</translation>
    </message>
    <message>
        <source>无法读取首领列表 %1：%2</source>
        <translation>cannot read the boss list %1: %2</translation>
    </message>
    <message>
        <source>无法写入首领列表 %1：%2</source>
        <translation>cannot write the boss list %1: %2</translation>
    </message>
    <message>
        <source>表中有 %1 行叫这个名字，未改动</source>
        <translation>the table has %1 rows of this name; left as they are</translation>
    </message>
    <message>
        <source>给了服务器却没有分线</source>
        <translation>servers given without lines</translation>
    </message>
    <message>
        <source>推送</source>
        <translation>Push</translation>
    </message>
    <message>
        <source>房间</source>
        <translation>the room</translation>
    </message>
    <message>
        <source>只有我</source>
        <translation>only me</translation>
    </message>
    <message>
        <source>提前提醒</source>
        <translation>lead times</translation>
    </message>
    <message>
        <source>窗口开启</source>
        <translation>window opens</translation>
    </message>
    <message>
        <source>BOSS 刷新</source>
        <translation>spawn</translation>
    </message>
    <message>
        <source>刷新后未记录</source>
        <translation>spawn not recorded</translation>
    </message>
    <message>
        <source>失败：%1</source>
        <translation>failed: %1</translation>
    </message>
    <message>
        <source>已发送 %1，待发送 %2</source>
        <translation>%1 sent, %2 waiting</translation>
    </message>
    <message>
        <source>已发送 %1</source>
        <translation>%1 sent</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>发送给</source>
        <translation>For</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>名称：</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>类型：</source>
        <translation>Kind:</translation>
    </message>
    <message>
        <source>https://discord.com/api/webhooks/… 或 ntfy.sh/主题</source>
        <translation>https://discord.com/api/webhooks/… or ntfy.sh/topic</translation>
    </message>
    <message>
        <source>地址：</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>发送给：</source>
        <translation>For:</translation>
    </message>
    <message>
        <source>发送：</source>
        <translation>Send:</translation>
    </message>
    <message>
        <source>启用</source>
        <translation>Enabled</translation>
    </message>
    <message>
        <source>已停用</source>
        <translation>disabled</translation>
    </message>
    <message>
        <source>已发送 %1，失败 %2，过时 %3，由他人转发 %4</source>
        <translation>%1 sent, %2 failed, %3 out of date, %4 posted by another member</translation>
    </message>
    <message>
        <source>上次错误（%1）：%2</source>
        <translation>last error (%1): %2</translation>
    </message>
    <message>
        <source>新目标</source>
        <translation>new target</translation>
    </message>
    <message>
        <source>推送目标“%1”的地址不是 http(s) 地址</source>
        <translation>the address of the push target “%1” is no http(s) address</translation>
    </message>
    <message>
        <source>推送目标“%1”没有选择要发送的提醒</source>
        <translation>the push target “%1” has no alerts chosen to send</translation>
    </message>
    <message>
        <source>无法写入推送设置：%1</source>
        <translation>cannot write the push settings: %1</translation>
    </message>
    <message>
        <source>菜单</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>显示公告栏</source>
        <translation>Show the announcement pane</translation>
    </message>
    <message>
        <source>被他人击杀（不记时间）</source>
        <translation>Killed by others (no time recorded)</translation>
    </message>
    <message>
        <source>未知：从未记录击杀</source>
        <translation>Unknown: no kill ever recorded</translation>
    </message>
    <message>
        <source>等待刷新</source>
        <translation>Waiting to spawn</translation>
    </message>
    <message>
        <source>刷新窗口已开 %1%，距最晚还有 %2</source>
        <translation>Spawn window open, %1% through; %2 to the latest</translation>
    </message>
    <message>
        <source>已刷新，无人记录击杀</source>
        <translation>Up, no kill recorded</translation>
    </message>
    <message>
        <source>已刷新：%1 起无人记录击杀，已 %2</source>
        <translation>Up since %1 with no kill recorded, for %2</translation>
    </message>
    <message>
        <source>刷新规则 - %1</source>
        <translation>Spawn rule - %1</translation>
    </message>
    <message>
        <source>击杀后刷新（周期为最早，延迟为窗口宽度）</source>
        <translation>After a kill (period is the earliest, delay the window&apos;s width)</translation>
    </message>
    <message>
        <source>本行：击杀后 %1 至 %2 分钟</source>
        <translation>This row: %1 to %2 minutes after a kill</translation>
    </message>
    <message>
        <source>本行：击杀后 %1 分钟</source>
        <translation>This row: %1 minutes after a kill</translation>
    </message>
    <message>
        <source>固定时间刷新（无需击杀）</source>
        <translation>At fixed times (no kill needed)</translation>
    </message>
    <message>
        <source>服务器时间，如 12:00 20:00</source>
        <translation>Server time, e.g. 12:00 20:00</translation>
    </message>
    <message>
        <source>一</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>二</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>三</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>四</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>五</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>六</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>日</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>不选星期则每天</source>
        <translation>No weekday chosen: every day</translation>
    </message>
    <message>
        <source>本机时区</source>
        <translation>This computer&apos;s zone</translation>
    </message>
    <message>
        <source>不变</source>
        <translation>Unchanged</translation>
    </message>
    <message>
        <source>视为在重启时击杀</source>
        <translation>As a kill at the restart</translation>
    </message>
    <message>
        <source>重启后若干分钟刷新</source>
        <translation>Spawns some minutes after the restart</translation>
    </message>
    <message>
        <source>时区：</source>
        <translation>Time zone:</translation>
    </message>
    <message>
        <source>服务器重启后：</source>
        <translation>After a server restart:</translation>
    </message>
    <message>
        <source>无法读取时间“%1”：请写成 12:00 20:00</source>
        <translation>Cannot read the times &quot;%1&quot;: write them as 12:00 20:00</translation>
    </message>
    <message>
        <source>未知的时区“%1”：请用 Asia/Shanghai 这样的名称或 UTC+08:00</source>
        <translation>Unknown time zone &quot;%1&quot;: use a name such as Asia/Shanghai, or UTC+08:00</translation>
    </message>
    <message>
        <source>服务器已重启（现在）</source>
        <translation>Server restarted (now)</translation>
    </message>
    <message>
        <source>刷新规则…</source>
        <translation>Spawn rule…</translation>
    </message>
    <message>
        <source>%1（已停止）</source>
        <translation>%1 (stopped)</translation>
    </message>
    <message>
        <source>
角色：%1</source>
        <translation>
Role: %1</translation>
    </message>
    <message>
        <source>Zorvane 仍在托盘中运行。要退出，请在托盘或窗口菜单中选择“退出”。</source>
        <translation>Zorvane keeps running in the tray. To quit, choose “Quit” in the tray menu or the window&apos;s menu.</translation>
    </message>
    <message>
        <source>Zorvane（已停止）</source>
        <translation>Zorvane (stopped)</translation>
    </message>
    <message>
        <source>已停止：倒计时暂停</source>
        <translation>Stopped: countdowns paused</translation>
    </message>
    <message>
        <source>在桌面的键盘设置中为以下命令设置快捷键（KDE：系统设置 → 快捷键 → 自定义快捷键；GNOME：设置 → 键盘 → 自定义快捷键）。游戏在前台时也能记录击杀（第二行：两分钟前）或朗读接下来的 BOSS。</source>
        <translation>Bind these commands to keys in your desktop&apos;s keyboard settings (KDE: System Settings → Shortcuts → Custom Shortcuts; GNOME: Settings → Keyboard → Custom Shortcuts). They record a kill (the second line: two minutes ago) or speak the next bosses while the game keeps the focus.</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>桌面快捷键</source>
        <translation>Desktop shortcuts</translation>
    </message>
    <message>
        <source>%1 分 %2 秒</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>已刷新（未记录击杀）</source>
        <translation>Up (no kill recorded)</translation>
    </message>
    <message>
        <source>刷新窗口 %1后开启</source>
        <translation>Spawn window opens in %1</translation>
    </message>
    <message>
        <source>窗口已开启 · 最迟 %1后刷新</source>
        <translation>Window open · spawns within %1</translation>
    </message>
    <message>
        <source>%1 · 已 %2</source>
        <translation>%1 · for %2</translation>
    </message>
    <message>
        <source>窗口已开启 · %1</source>
        <translation>Window open · %1</translation>
    </message>
    <message>
        <source> 分钟后</source>
        <translation> min after</translation>
    </message>
    <message>
        <source>不提醒</source>
        <translation>no reminder</translation>
    </message>
    <message>
        <source>刷新后无人记录击杀时提醒：</source>
        <translation>Remind when nobody recorded a kill:</translation>
    </message>
    <message>
        <source>周一</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>周二</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>周三</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>周四</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>周五</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>周六</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>周日</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>%1 %2月%3日 %4</source>
        <translation>%1 %3/%2 %4</translation>
    </message>
    <message>
        <source>明天</source>
        <translation>tomorrow</translation>
    </message>
    <message>
        <source>%1月%2日</source>
        <translation>%2/%1</translation>
    </message>
    <message>
        <source>今天 %1</source>
        <translation>today %1</translation>
    </message>
    <message>
        <source>刷新窗口：%1 至 %2</source>
        <translation>Spawn window: %1 to %2</translation>
    </message>
    <message>
        <source>下次刷新：%1</source>
        <translation>Next spawn: %1</translation>
    </message>
    <message>
        <source>服务器时间（%1）：%2</source>
        <translation>Server time (%1): %2</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>config.ini 第 %1 行（%2）存的刷新规则或时区无法读取，暂按击杀后计时；请用“刷新规则…”重新选择</source>
        <translation>config.ini rows %1 (%2): the stored spawn rule or time zone cannot be read; they count after a kill until you choose a rule again with “Spawn rule…”</translation>
    </message>
    <message>
        <source>采用此窗口</source>
        <translation>Adopt this window</translation>
    </message>
    <message>
        <source>刷新窗口：至少要有 %1 个正常的击杀间隔才能推算。</source>
        <translation>Spawn window: at least %1 usual intervals between kills are needed to estimate it.</translation>
    </message>
    <message>
        <source>%1 – %2</source>
        <translation>%1 – %2</translation>
    </message>
    <message>
        <source>按 %1 个击杀间隔，刷新窗口为 %2；本行为 %3</source>
        <translation>From %1 intervals between kills the spawn window is %2; this row says %3</translation>
    </message>
    <message>
        <source>采用刷新窗口：%1</source>
        <translation>Adopt spawn window: %1</translation>
    </message>
    <message>
        <source>记录击杀：选中的 BOSS，未选中时为下一个到期的</source>
        <translation>Record a kill: the selected boss, or the next one due when none is selected</translation>
    </message>
    <message>
        <source>显示/隐藏悬浮窗</source>
        <translation>Show/hide the overlay</translation>
    </message>
    <message>
        <source>全局快捷键：正在向桌面门户登记……</source>
        <translation>Global keys: registering with the desktop portal…</translation>
    </message>
    <message>
        <source>全局快捷键已通过桌面门户登记（记录击杀、显示/隐藏悬浮窗、静音），按键可在桌面的快捷键设置中更改。</source>
        <translation>Global keys are registered with the desktop portal (record a kill, show/hide the overlay, silence); change the keys in the desktop&apos;s shortcut settings.</translation>
    </message>
    <message>
        <source>当前按键：%1</source>
        <translation>Current keys: %1</translation>
    </message>
    <message>
        <source>此桌面没有提供全局快捷键门户（GlobalShortcuts），请改用下面的命令（%1）。</source>
        <translation>This desktop offers no global keys portal (GlobalShortcuts); bind the commands below instead (%1).</translation>
    </message>
    <message>
        <source>桌面门户未能登记全局快捷键，请改用下面的命令（%1）。</source>
        <translation>The desktop portal did not register the global keys; bind the commands below instead (%1).</translation>
    </message>
    <message>
        <source>导出首领列表…</source>
        <translation>Export boss list…</translation>
    </message>
    <message>
        <source>导入首领列表…</source>
        <translation>Import boss list…</translation>
    </message>
    <message>
        <source>导出首领列表</source>
        <translation>Export boss list</translation>
    </message>
    <message>
        <source>导入首领列表</source>
        <translation>Import boss list</translation>
    </message>
    <message>
        <source>首领列表 (*.json);;所有文件 (*)</source>
        <translation>Boss lists (*.json);;All files (*)</translation>
    </message>
    <message>
        <source>周期</source>
        <translation>period</translation>
    </message>
    <message>
        <source>延迟</source>
        <translation>delay</translation>
    </message>
    <message>
        <source>规则</source>
        <translation>rule</translation>
    </message>
    <message>
        <source>时区</source>
        <translation>time zone</translation>
    </message>
    <message>
        <source>提前时间</source>
        <translation>lead times</translation>
    </message>
    <message>
        <source>备注</source>
        <translation>notes</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>新增 %1 个：</source>
        <translation>Added (%1):</translation>
    </message>
    <message>
        <source>修改 %1 个：</source>
        <translation>Changed (%1):</translation>
    </message>
    <message>
        <source>未变 %1 个：</source>
        <translation>Unchanged (%1):</translation>
    </message>
    <message>
        <source>跳过 %1 个：</source>
        <translation>Skipped (%1):</translation>
    </message>
    <message>
        <source>%1：新增 %2 个，修改 %3 个，未变 %4 个，跳过 %5 个。</source>
        <translation>%1: %2 added, %3 changed, %4 unchanged, %5 skipped.</translation>
    </message>
    <message>
        <source>击杀时间不会改动。</source>
        <translation>Kill times are not changed.</translation>
    </message>
    <message>
        <source>这份列表不会改动任何首领。</source>
        <translation>This list changes no boss.</translation>
    </message>
    <message>
        <source>导入</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>已把 %1 个首领导出到 %2</source>
        <translation>Exported %1 bosses to %2</translation>
    </message>
    <message>
        <source>无法导入 %1：%2</source>
        <translation>Cannot import %1: %2</translation>
    </message>
    <message>
        <source>%1 提供了首领列表（%2 个首领）</source>
        <translation>%1 offers a boss list (%2 bosses)</translation>
    </message>
    <message>
        <source>%1 提供的首领列表无法读取：%2</source>
        <translation>the boss list %1 offers cannot be read: %2</translation>
    </message>
    <message>
        <source>没有加入房间</source>
        <translation>Not in a room</translation>
    </message>
    <message>
        <source>未能向房间提供首领列表：%1</source>
        <translation>Could not offer the boss list to the room: %1</translation>
    </message>
    <message>
        <source>首领列表太大：房间里最多 %1 KB</source>
        <translation>The boss list is too large: a room takes at most %1 KB</translation>
    </message>
    <message>
        <source>只有房间的管理员可以提供首领列表</source>
        <translation>Only the room&apos;s officers may offer a boss list</translation>
    </message>
    <message>
        <source>已向房间提供 %1 个首领</source>
        <translation>Offered %1 bosses to the room</translation>
    </message>
    <message>
        <source>%1 提供的首领列表</source>
        <translation>the boss list %1 offers</translation>
    </message>
    <message>
        <source>向房间提供首领列表…</source>
        <translation>Offer boss list to the room…</translation>
    </message>
    <message>
        <source>房间提供的首领列表…</source>
        <translation>Boss list offered in the room…</translation>
    </message>
    <message>
        <source>分组</source>
        <translation>Group</translation>
    </message>
    <message>
        <source>分组…</source>
        <translation>Group…</translation>
    </message>
    <message>
        <source>未分组</source>
        <translation>No group</translation>
    </message>
    <message>
        <source>%1 %2（%3）</source>
        <translation>%1 %2 (%3)</translation>
    </message>
    <message>
        <source>单击或按 + / - 折叠、展开</source>
        <translation>Click or press + / - to fold or unfold</translation>
    </message>
    <message>
        <source>筛选：名称、分组、状态…</source>
        <translation>Filter: name, group, state…</translation>
    </message>
    <message>
        <source>按名称或分组筛选，或按状态：已刷新、10分钟内、&lt;10m（Ctrl+F；Esc 清除）</source>
        <translation>Filter by name or group, or by state: up, &lt;10m (up or due within 10 minutes) (Ctrl+F; Esc clears)</translation>
    </message>
    <message>
        <source>没有符合“%1”的首领。按 Esc 清除筛选。</source>
        <translation>No boss matches “%1”. Press Esc to clear the filter.</translation>
    </message>
    <message>
        <source>“%1”所在的分组（选择或输入新分组，留空为不分组）：</source>
        <translation>Group of “%1” (choose one or type a new one; leave empty for none):</translation>
    </message>
    <message>
        <source>分组名须为一行，且不超过 %1 字节。</source>
        <translation>A group name must be one line of at most %1 bytes.</translation>
    </message>
    <message>
        <source>分线与服务器…</source>
        <translation>Servers and lines…</translation>
    </message>
    <message>
        <source>清除此线</source>
        <translation>Clear this line</translation>
    </message>
    <message>
        <source>撤销此线的上一步</source>
        <translation>Undo this line’s last change</translation>
    </message>
    <message>
        <source>清除：%1</source>
        <translation>Clear: %1</translation>
    </message>
    <message>
        <source>请先选中一个首领，再设置它的分线与服务器。</source>
        <translation>Select a boss first, then set its servers and lines.</translation>
    </message>
    <message>
        <source>请先填写这一行的首领名称，再设置它的分线与服务器。</source>
        <translation>Give this row a boss name first, then set its servers and lines.</translation>
    </message>
    <message>
        <source>分线与服务器 - %1</source>
        <translation>Servers and lines - %1</translation>
    </message>
    <message>
        <source>一区, 二区（留空：只有一个服务器）</source>
        <translation>EU1, EU2 (empty: one server)</translation>
    </message>
    <message>
        <source>1-60, A（留空：不分线）</source>
        <translation>1-60, A (empty: no lines)</translation>
    </message>
    <message>
        <source>服务器：</source>
        <translation>Servers:</translation>
    </message>
    <message>
        <source>分线：</source>
        <translation>Lines:</translation>
    </message>
    <message>
        <source>分线“%1”无效：写成“1-60”或“1-40, A”，范围由小到大，每条线只写一次，每个服务器最多 %2 条线</source>
        <translation>Lines “%1” are not valid: write “1-60” or “1-40, A”, ranges from low to high, each line once, at most %2 lines per server</translation>
    </message>
    <message>
        <source>有服务器时也要写分线，例如“1”</source>
        <translation>Servers need lines too, for example “1”</translation>
    </message>
</context>
</TS>
