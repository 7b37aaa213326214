<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>ICameraButton</name>
    <message>
        <source>Connected</source>
        <translation>Connected</translation>
    </message>
</context>
<context>
    <name>ICameraPage</name>
    <message>
        <source>Back</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Original</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>Bright</source>
        <translation>Bright</translation>
    </message>
    <message>
        <source>Blossom</source>
        <translation>Blossom</translation>
    </message>
    <message>
        <source>Forest</source>
        <translation>Forest</translation>
    </message>
    <message>
        <source>Film</source>
        <translation>Film</translation>
    </message>
    <message>
        <source>Mono</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>No preview availableWebcam is used by another application.</source>
        <translation>No preview available&lt;br&gt;Webcam is used by another application.</translation>
    </message>
    <message>
        <source>The camera has stopped sending pictures.</source>
        <translation>The camera has stopped sending pictures.</translation>
    </message>
    <message>
        <source>Failed to open the device, please verify the device.</source>
        <translation>Failed to open the device, please verify the device.</translation>
    </message>
    <message>
        <source>Failed to set the parameter of the device, please verify the device.</source>
        <translation>Failed to set the parameter of the device, please verify the device.</translation>
    </message>
</context>
<context>
    <name>IConfigureService</name>
    <message>
        <source>Lumivo</source>
        <translation>Lumivo</translation>
    </message>
</context>
<context>
    <name>IDeviceControlsDialog</name>
    <message>
        <source>Camera properties</source>
        <translation>Camera properties</translation>
    </message>
    <message>
        <source>This device has no adjustable controls.</source>
        <translation>This device has no adjustable controls.</translation>
    </message>
</context>
<context>
    <name>IMainPage</name>
    <message>
        <source>Devices</source>
        <translation>Devices</translation>
    </message>
</context>
<context>
    <name>IPhotoTaker</name>
    <message>
        <source>Take a photo (Space)</source>
        <translation>Take a photo (Space)</translation>
    </message>
    <message>
        <source>There is no picture to save yet.</source>
        <translation>There is no picture to save yet.</translation>
    </message>
    <message>
        <source>The photo could not be saved: %1</source>
        <translation>The photo could not be saved: %1</translation>
    </message>
    <message>
        <source>Photo saved to %1</source>
        <translation>Photo saved to %1</translation>
    </message>
    <message>
        <source>the folder %1 cannot be created</source>
        <translation>the folder %1 cannot be created</translation>
    </message>
</context>
<context>
    <name>ISettingFrame</name>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Software name:</source>
        <translation>Software name:</translation>
    </message>
    <message>
        <source>Software version:</source>
        <translation>Software version:</translation>
    </message>
    <message>
        <source>Language settings</source>
        <translation>Language settings</translation>
    </message>
    <message>
        <source>Cameras</source>
        <translation>Cameras</translation>
    </message>
    <message>
        <source>Remember camera settings</source>
        <translation>Remember camera settings</translation>
    </message>
    <message>
        <source>Use PipeWire when available</source>
        <translation>Use PipeWire when available</translation>
    </message>
</context>
<context>
    <name>ITitleWidget</name>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>MainFrame</name>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>on</source>
        <translation>on</translation>
    </message>
    <message>
        <source>off</source>
        <translation>off</translation>
    </message>
    <message>
        <source>Resolution</source>
        <translation>Resolution</translation>
    </message>
    <message>
        <source>Auto focus</source>
        <translation>Auto focus</translation>
    </message>
    <message>
        <source>Focus</source>
        <translation>Focus</translation>
    </message>
    <message>
        <source>Auto exposure</source>
        <translation>Auto exposure</translation>
    </message>
    <message>
        <source>Exposure</source>
        <translation>Exposure</translation>
    </message>
    <message>
        <source>Auto white balance</source>
        <translation>Auto white balance</translation>
    </message>
    <message>
        <source>White balance</source>
        <translation>White balance</translation>
    </message>
    <message>
        <source>Brightness</source>
        <translation>Brightness</translation>
    </message>
    <message>
        <source>Contrast</source>
        <translation>Contrast</translation>
    </message>
    <message>
        <source>Saturation</source>
        <translation>Saturation</translation>
    </message>
    <message>
        <source>Restore default</source>
        <translation>Restore default</translation>
    </message>
    <message>
        <source>Lumivo</source>
        <translation>Lumivo</translation>
    </message>
</context>
</TS>
