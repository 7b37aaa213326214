<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>ICameraButton</name>
    <message>
        <source>Connected</source>
        <translation>已连接</translation>
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
    <message>
        <source>No preview availableWebcam is used by another application.</source>
        <translation>无法预览&lt;br&gt;摄像头正被其他应用程序占用。</translation>
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
        <source>Camera properties</source>
        <translation>摄像头属性</translation>
    </message>
    <message>
        <source>This device has no adjustable controls.</source>
        <translation>此设备没有可调节的控制项。</translation>
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
        <source>Auto focus</source>
        <translation>自动对焦</translation>
    </message>
    <message>
        <source>Focus</source>
        <translation>对焦</translation>
    </message>
    <message>
        <source>Auto exposure</source>
        <translation>自动曝光</translation>
    </message>
    <message>
        <source>Exposure</source>
        <translation>曝光</translation>
    </message>
    <message>
        <source>Auto white balance</source>
        <translation>自动白平衡</translation>
    </message>
    <message>
        <source>White balance</source>
        <translation>白平衡</translation>
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
        <source>Restore default</source>
        <translation>恢复默认</translation>
    </message>
    <message>
        <source>Lumivo</source>
        <translation>Lumivo 摄像头</translation>
    </message>
</context>
</TS>
