<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>ControlTitles</name>
    <message>
        <source>Disabled</source>
        <translation>禁用</translation>
    </message>
    <message>
        <source>50 Hz</source>
        <translation>50 赫兹</translation>
    </message>
    <message>
        <source>60 Hz</source>
        <translation>60 赫兹</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>None</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Black &amp; White</source>
        <translation>黑白</translation>
    </message>
    <message>
        <source>Sepia</source>
        <translation>棕褐色</translation>
    </message>
    <message>
        <source>Negative</source>
        <translation>负片</translation>
    </message>
    <message>
        <source>Emboss</source>
        <translation>浮雕</translation>
    </message>
    <message>
        <source>Sketch</source>
        <translation>素描</translation>
    </message>
    <message>
        <source>Sky Blue</source>
        <translation>天蓝</translation>
    </message>
    <message>
        <source>Grass Green</source>
        <translation>草绿</translation>
    </message>
    <message>
        <source>Skin Whiten</source>
        <translation>美白</translation>
    </message>
    <message>
        <source>Vivid</source>
        <translation>鲜艳</translation>
    </message>
    <message>
        <source>Aqua</source>
        <translation>水蓝</translation>
    </message>
    <message>
        <source>Art Freeze</source>
        <translation>艺术冻结</translation>
    </message>
    <message>
        <source>Silhouette</source>
        <translation>剪影</translation>
    </message>
    <message>
        <source>Solarization</source>
        <translation>曝光反转</translation>
    </message>
    <message>
        <source>Antique</source>
        <translation>复古</translation>
    </message>
    <message>
        <source>Set Cb/Cr</source>
        <translation>设置 Cb/Cr</translation>
    </message>
    <message>
        <source>Auto Mode</source>
        <translation>自动模式</translation>
    </message>
    <message>
        <source>Manual Mode</source>
        <translation>手动模式</translation>
    </message>
    <message>
        <source>Shutter Priority Mode</source>
        <translation>快门优先模式</translation>
    </message>
    <message>
        <source>Aperture Priority Mode</source>
        <translation>光圈优先模式</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>手动</translation>
    </message>
    <message>
        <source>Incandescent</source>
        <translation>白炽灯</translation>
    </message>
    <message>
        <source>Fluorescent</source>
        <translation>荧光灯</translation>
    </message>
    <message>
        <source>Fluorescent H</source>
        <translation>荧光灯 H</translation>
    </message>
    <message>
        <source>Horizon</source>
        <translation>地平线</translation>
    </message>
    <message>
        <source>Daylight</source>
        <translation>日光</translation>
    </message>
    <message>
        <source>Flash</source>
        <translation>闪光灯</translation>
    </message>
    <message>
        <source>Cloudy</source>
        <translation>阴天</translation>
    </message>
    <message>
        <source>Shade</source>
        <translation>阴影</translation>
    </message>
    <message>
        <source>Greyworld</source>
        <translation>灰度世界</translation>
    </message>
    <message>
        <source>Average</source>
        <translation>平均</translation>
    </message>
    <message>
        <source>Center Weighted</source>
        <translation>中央重点</translation>
    </message>
    <message>
        <source>Spot</source>
        <translation>点测光</translation>
    </message>
    <message>
        <source>Matrix</source>
        <translation>矩阵</translation>
    </message>
    <message>
        <source>Backlight</source>
        <translation>逆光</translation>
    </message>
    <message>
        <source>Beach/Snow</source>
        <translation>海滩/雪景</translation>
    </message>
    <message>
        <source>Candle Light</source>
        <translation>烛光</translation>
    </message>
    <message>
        <source>Dusk/Dawn</source>
        <translation>黄昏/黎明</translation>
    </message>
    <message>
        <source>Fall Colors</source>
        <translation>秋色</translation>
    </message>
    <message>
        <source>Fireworks</source>
        <translation>烟花</translation>
    </message>
    <message>
        <source>Landscape</source>
        <translation>风景</translation>
    </message>
    <message>
        <source>Night</source>
        <translation>夜景</translation>
    </message>
    <message>
        <source>Party/Indoor</source>
        <translation>聚会/室内</translation>
    </message>
    <message>
        <source>Portrait</source>
        <translation>人像</translation>
    </message>
    <message>
        <source>Sports</source>
        <translation>运动</translation>
    </message>
    <message>
        <source>Sunset</source>
        <translation>日落</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>文字</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>普通</translation>
    </message>
    <message>
        <source>Macro</source>
        <translation>微距</translation>
    </message>
    <message>
        <source>Infinity</source>
        <translation>无穷远</translation>
    </message>
    <message>
        <source>Front</source>
        <translation>前置</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>后置</translation>
    </message>
    <message>
        <source>External</source>
        <translation>外置</translation>
    </message>
    <message>
        <source>User Controls</source>
        <translation>用户控制</translation>
    </message>
    <message>
        <source>Brightness</source>
        <translation>亮度</translation>
    </message>
    <message>
        <source>Contrast</source>
        <translation>对比度</translation>
    </message>
    <message>
        <source>Saturation</source>
        <translation>饱和度</translation>
    </message>
    <message>
        <source>Hue</source>
        <translation>色调</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
    <message>
        <source>Balance</source>
        <translation>平衡</translation>
    </message>
    <message>
        <source>Bass</source>
        <translation>低音</translation>
    </message>
    <message>
        <source>Treble</source>
        <translation>高音</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>静音</translation>
    </message>
    <message>
        <source>Loudness</source>
        <translation>响度</translation>
    </message>
    <message>
        <source>Black Level</source>
        <translation>黑电平</translation>
    </message>
    <message>
        <source>White Balance, Automatic</source>
        <translation>自动白平衡</translation>
    </message>
    <message>
        <source>Auto white balance</source>
        <translation>自动白平衡</translation>
    </message>
    <message>
        <source>Do White Balance</source>
        <translation>执行白平衡</translation>
    </message>
    <message>
        <source>Red Balance</source>
        <translation>红色平衡</translation>
    </message>
    <message>
        <source>Blue Balance</source>
        <translation>蓝色平衡</translation>
    </message>
    <message>
        <source>Gamma</source>
        <translation>伽马</translation>
    </message>
    <message>
        <source>Exposure</source>
        <translation>曝光</translation>
    </message>
    <message>
        <source>Gain, Automatic</source>
        <translation>自动增益</translation>
    </message>
    <message>
        <source>Gain</source>
        <translation>增益</translation>
    </message>
    <message>
        <source>Horizontal Flip</source>
        <translation>水平翻转</translation>
    </message>
    <message>
        <source>Vertical Flip</source>
        <translation>垂直翻转</translation>
    </message>
    <message>
        <source>Power Line Frequency</source>
        <translation>电源频率（防闪烁）</translation>
    </message>
    <message>
        <source>Hue, Automatic</source>
        <translation>自动色调</translation>
    </message>
    <message>
        <source>White Balance Temperature</source>
        <translation>白平衡色温</translation>
    </message>
    <message>
        <source>White balance</source>
        <translation>白平衡</translation>
    </message>
    <message>
        <source>Sharpness</source>
        <translation>锐度</translation>
    </message>
    <message>
        <source>Backlight Compensation</source>
        <translation>背光补偿</translation>
    </message>
    <message>
        <source>Chroma AGC</source>
        <translation>色度自动增益</translation>
    </message>
    <message>
        <source>Color Killer</source>
        <translation>消色</translation>
    </message>
    <message>
        <source>Color Effects</source>
        <translation>色彩效果</translation>
    </message>
    <message>
        <source>Brightness, Automatic</source>
        <translation>自动亮度</translation>
    </message>
    <message>
        <source>Band-Stop Filter</source>
        <translation>带阻滤波</translation>
    </message>
    <message>
        <source>Rotate</source>
        <translation>旋转</translation>
    </message>
    <message>
        <source>Background Color</source>
        <translation>背景颜色</translation>
    </message>
    <message>
        <source>Chroma Gain</source>
        <translation>色度增益</translation>
    </message>
    <message>
        <source>Illuminator 1</source>
        <translation>补光灯 1</translation>
    </message>
    <message>
        <source>Illuminator 2</source>
        <translation>补光灯 2</translation>
    </message>
    <message>
        <source>Min Number of Capture Buffers</source>
        <translation>最少采集缓冲区数</translation>
    </message>
    <message>
        <source>Min Number of Output Buffers</source>
        <translation>最少输出缓冲区数</translation>
    </message>
    <message>
        <source>Alpha Component</source>
        <translation>Alpha 分量</translation>
    </message>
    <message>
        <source>Color Effects, CbCr</source>
        <translation>色彩效果（CbCr）</translation>
    </message>
    <message>
        <source>Camera Controls</source>
        <translation>相机控制</translation>
    </message>
    <message>
        <source>Auto Exposure</source>
        <translation>自动曝光</translation>
    </message>
    <message>
        <source>Auto exposure</source>
        <translation>自动曝光</translation>
    </message>
    <message>
        <source>Exposure Time, Absolute</source>
        <translation>曝光时间</translation>
    </message>
    <message>
        <source>Exposure, Dynamic Framerate</source>
        <translation>曝光优先（动态帧率）</translation>
    </message>
    <message>
        <source>Pan, Relative</source>
        <translation>水平转动（相对）</translation>
    </message>
    <message>
        <source>Tilt, Relative</source>
        <translation>垂直转动（相对）</translation>
    </message>
    <message>
        <source>Pan, Reset</source>
        <translation>水平转动复位</translation>
    </message>
    <message>
        <source>Tilt, Reset</source>
        <translation>垂直转动复位</translation>
    </message>
    <message>
        <source>Pan, Absolute</source>
        <translation>水平转动</translation>
    </message>
    <message>
        <source>Tilt, Absolute</source>
        <translation>垂直转动</translation>
    </message>
    <message>
        <source>Focus, Absolute</source>
        <translation>对焦</translation>
    </message>
    <message>
        <source>Focus</source>
        <translation>对焦</translation>
    </message>
    <message>
        <source>Focus, Relative</source>
        <translation>对焦（相对）</translation>
    </message>
    <message>
        <source>Focus, Automatic Continuous</source>
        <translation>连续自动对焦</translation>
    </message>
    <message>
        <source>Auto focus</source>
        <translation>自动对焦</translation>
    </message>
    <message>
        <source>Zoom, Absolute</source>
        <translation>变焦</translation>
    </message>
    <message>
        <source>Zoom, Relative</source>
        <translation>变焦（相对）</translation>
    </message>
    <message>
        <source>Zoom, Continuous</source>
        <translation>连续变焦</translation>
    </message>
    <message>
        <source>Privacy</source>
        <translation>隐私</translation>
    </message>
    <message>
        <source>Iris, Absolute</source>
        <translation>光圈</translation>
    </message>
    <message>
        <source>Iris, Relative</source>
        <translation>光圈（相对）</translation>
    </message>
    <message>
        <source>Auto Exposure, Bias</source>
        <translation>自动曝光补偿</translation>
    </message>
    <message>
        <source>White Balance, Auto &amp; Preset</source>
        <translation>白平衡预设</translation>
    </message>
    <message>
        <source>Wide Dynamic Range</source>
        <translation>宽动态范围</translation>
    </message>
    <message>
        <source>Image Stabilization</source>
        <translation>防抖</translation>
    </message>
    <message>
        <source>ISO Sensitivity</source>
        <translation>ISO 感光度</translation>
    </message>
    <message>
        <source>ISO Sensitivity, Auto</source>
        <translation>自动 ISO 感光度</translation>
    </message>
    <message>
        <source>Exposure, Metering Mode</source>
        <translation>测光模式</translation>
    </message>
    <message>
        <source>Scene Mode</source>
        <translation>场景模式</translation>
    </message>
    <message>
        <source>3A Lock</source>
        <translation>3A 锁定</translation>
    </message>
    <message>
        <source>Auto Focus, Start</source>
        <translation>开始自动对焦</translation>
    </message>
    <message>
        <source>Auto Focus, Stop</source>
        <translation>停止自动对焦</translation>
    </message>
    <message>
        <source>Auto Focus, Status</source>
        <translation>自动对焦状态</translation>
    </message>
    <message>
        <source>Auto Focus, Range</source>
        <translation>自动对焦范围</translation>
    </message>
    <message>
        <source>Pan, Speed</source>
        <translation>水平转动速度</translation>
    </message>
    <message>
        <source>Tilt, Speed</source>
        <translation>垂直转动速度</translation>
    </message>
    <message>
        <source>Camera Orientation</source>
        <translation>相机朝向</translation>
    </message>
    <message>
        <source>Camera Sensor Rotation</source>
        <translation>传感器旋转</translation>
    </message>
</context>
<context>
    <name>ICameraButton</name>
    <message>
        <source>Connected</source>
        <translation>已连接</translation>
    </message>
    <message>
        <source>In use by %1</source>
        <translation>正被 %1 使用</translation>
    </message>
</context>
<context>
    <name>ICameraPage</name>
    <message>
        <source>Back</source>
        <translation>返回</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>参数</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>滤镜</translation>
    </message>
</context>
<context>
    <name>IConfigureService</name>
    <message>
        <source>Lumivo</source>
        <translation>Lumivo 摄像头</translation>
    </message>
</context>
<context>
    <name>IDeviceControlsDialog</name>
    <message>
        <source>This device has no adjustable controls.</source>
        <translation>此设备没有可调节的控制项。</translation>
    </message>
    <message>
        <source>More controls</source>
        <translation>更多控制</translation>
    </message>
</context>
<context>
    <name>IMainPage</name>
    <message>
        <source>Devices</source>
        <translation>设备</translation>
    </message>
</context>
<context>
    <name>IPhotoTaker</name>
    <message>
        <source>Take a photo (Space)</source>
        <translation>拍照（空格键）</translation>
    </message>
    <message>
        <source>There is no picture to save yet.</source>
        <translation>还没有可保存的画面。</translation>
    </message>
    <message>
        <source>The photo could not be saved: %1</source>
        <translation>照片无法保存：%1</translation>
    </message>
    <message>
        <source>Photo saved to %1</source>
        <translation>照片已保存到 %1</translation>
    </message>
    <message>
        <source>the folder %1 cannot be created</source>
        <translation>无法创建文件夹 %1</translation>
    </message>
</context>
<context>
    <name>ISettingFrame</name>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Software name:</source>
        <translation>软件名称：</translation>
    </message>
    <message>
        <source>Software version:</source>
        <translation>软件版本：</translation>
    </message>
    <message>
        <source>Language settings</source>
        <translation>语言设置</translation>
    </message>
    <message>
        <source>Cameras</source>
        <translation>摄像头</translation>
    </message>
    <message>
        <source>Remember camera settings</source>
        <translation>记住摄像头设置</translation>
    </message>
    <message>
        <source>Use PipeWire when available</source>
        <translation>可用时使用 PipeWire</translation>
    </message>
    <message>
        <source>Keep my camera settings when other programs change them</source>
        <translation>其他程序更改摄像头设置时保留我的设置</translation>
    </message>
    <message>
        <source>Start Lumivo when I log in</source>
        <translation>登录时启动 Lumivo</translation>
    </message>
    <message>
        <source>Lumivo cannot start when you log in: %1</source>
        <translation>无法设置登录时启动 Lumivo：%1</translation>
    </message>
</context>
<context>
    <name>ITitleWidget</name>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>LooksPanel</name>
    <message>
        <source>Original</source>
        <translation>原图</translation>
    </message>
    <message>
        <source>Bright</source>
        <translation>明亮</translation>
    </message>
    <message>
        <source>Blossom</source>
        <translation>花漾</translation>
    </message>
    <message>
        <source>Forest</source>
        <translation>森林</translation>
    </message>
    <message>
        <source>Film</source>
        <translation>胶片</translation>
    </message>
    <message>
        <source>Mono</source>
        <translation>黑白</translation>
    </message>
</context>
<context>
    <name>MainFrame</name>
    <message>
        <source>Version</source>
        <translation>版本</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>%1: in use by %2</source>
        <translation>%1：正被 %2 使用</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>on</source>
        <translation>开</translation>
    </message>
    <message>
        <source>off</source>
        <translation>关</translation>
    </message>
    <message>
        <source>Resolution</source>
        <translation>分辨率</translation>
    </message>
    <message>
        <source>Restore default</source>
        <translation>恢复默认</translation>
    </message>
    <message>
        <source>Lumivo</source>
        <translation>Lumivo 摄像头</translation>
    </message>
    <message>
        <source>More controls</source>
        <translation>更多控制</translation>
    </message>
    <message>
        <source>This camera&apos;s controls are not available through PipeWire</source>
        <translation>此摄像头的控制项无法通过 PipeWire 使用</translation>
    </message>
    <message>
        <source>%1 cannot be removed: %2</source>
        <translation>无法删除 %1：%2</translation>
    </message>
    <message>
        <source>the folder %1 cannot be created</source>
        <translation>无法创建文件夹 %1</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
</context>
<context>
    <name>StreamStateMessages</name>
    <message>
        <source>No preview availableWebcam is used by another application.</source>
        <translation>无法预览&lt;br&gt;摄像头正被其他应用程序占用。</translation>
    </message>
    <message>
        <source>In use by: %1</source>
        <translation>正在使用它的程序：%1</translation>
    </message>
    <message>
        <source>The camera has stopped sending pictures.</source>
        <translation>摄像头已停止发送画面。</translation>
    </message>
    <message>
        <source>Failed to open the device, please verify the device.</source>
        <translation>打开设备失败，请检查设备。</translation>
    </message>
    <message>
        <source>Failed to set the parameter of the device, please verify the device.</source>
        <translation>设置设备参数失败，请检查设备。</translation>
    </message>
</context>
</TS>
