<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>ControlTitles</name>
    <message>
        <source>Disabled</source>
        <translation>Disabled</translation>
    </message>
    <message>
        <source>50 Hz</source>
        <translation>50 Hz</translation>
    </message>
    <message>
        <source>60 Hz</source>
        <translation>60 Hz</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>None</source>
        <translation>None</translation>
    </message>
    <message>
        <source>Black &amp; White</source>
        <translation>Black &amp; White</translation>
    </message>
    <message>
        <source>Sepia</source>
        <translation>Sepia</translation>
    </message>
    <message>
        <source>Negative</source>
        <translation>Negative</translation>
    </message>
    <message>
        <source>Emboss</source>
        <translation>Emboss</translation>
    </message>
    <message>
        <source>Sketch</source>
        <translation>Sketch</translation>
    </message>
    <message>
        <source>Sky Blue</source>
        <translation>Sky Blue</translation>
    </message>
    <message>
        <source>Grass Green</source>
        <translation>Grass Green</translation>
    </message>
    <message>
        <source>Skin Whiten</source>
        <translation>Skin Whiten</translation>
    </message>
    <message>
        <source>Vivid</source>
        <translation>Vivid</translation>
    </message>
    <message>
        <source>Aqua</source>
        <translation>Aqua</translation>
    </message>
    <message>
        <source>Art Freeze</source>
        <translation>Art Freeze</translation>
    </message>
    <message>
        <source>Silhouette</source>
        <translation>Silhouette</translation>
    </message>
    <message>
        <source>Solarization</source>
        <translation>Solarization</translation>
    </message>
    <message>
        <source>Antique</source>
        <translation>Antique</translation>
    </message>
    <message>
        <source>Set Cb/Cr</source>
        <translation>Set Cb/Cr</translation>
    </message>
    <message>
        <source>Auto Mode</source>
        <translation>Auto Mode</translation>
    </message>
    <message>
        <source>Manual Mode</source>
        <translation>Manual Mode</translation>
    </message>
    <message>
        <source>Shutter Priority Mode</source>
        <translation>Shutter Priority Mode</translation>
    </message>
    <message>
        <source>Aperture Priority Mode</source>
        <translation>Aperture Priority Mode</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>Manual</translation>
    </message>
    <message>
        <source>Incandescent</source>
        <translation>Incandescent</translation>
    </message>
    <message>
        <source>Fluorescent</source>
        <translation>Fluorescent</translation>
    </message>
    <message>
        <source>Fluorescent H</source>
        <translation>Fluorescent H</translation>
    </message>
    <message>
        <source>Horizon</source>
        <translation>Horizon</translation>
    </message>
    <message>
        <source>Daylight</source>
        <translation>Daylight</translation>
    </message>
    <message>
        <source>Flash</source>
        <translation>Flash</translation>
    </message>
    <message>
        <source>Cloudy</source>
        <translation>Cloudy</translation>
    </message>
    <message>
        <source>Shade</source>
        <translation>Shade</translation>
    </message>
    <message>
        <source>Greyworld</source>
        <translation>Greyworld</translation>
    </message>
    <message>
        <source>Average</source>
        <translation>Average</translation>
    </message>
    <message>
        <source>Center Weighted</source>
        <translation>Center Weighted</translation>
    </message>
    <message>
        <source>Spot</source>
        <translation>Spot</translation>
    </message>
    <message>
        <source>Matrix</source>
        <translation>Matrix</translation>
    </message>
    <message>
        <source>Backlight</source>
        <translation>Backlight</translation>
    </message>
    <message>
        <source>Beach/Snow</source>
        <translation>Beach/Snow</translation>
    </message>
    <message>
        <source>Candle Light</source>
        <translation>Candle Light</translation>
    </message>
    <message>
        <source>Dusk/Dawn</source>
        <translation>Dusk/Dawn</translation>
    </message>
    <message>
        <source>Fall Colors</source>
        <translation>Fall Colors</translation>
    </message>
    <message>
        <source>Fireworks</source>
        <translation>Fireworks</translation>
    </message>
    <message>
        <source>Landscape</source>
        <translation>Landscape</translation>
    </message>
    <message>
        <source>Night</source>
        <translation>Night</translation>
    </message>
    <message>
        <source>Party/Indoor</source>
        <translation>Party/Indoor</translation>
    </message>
    <message>
        <source>Portrait</source>
        <translation>Portrait</translation>
    </message>
    <message>
        <source>Sports</source>
        <translation>Sports</translation>
    </message>
    <message>
        <source>Sunset</source>
        <translation>Sunset</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>Macro</source>
        <translation>Macro</translation>
    </message>
    <message>
        <source>Infinity</source>
        <translation>Infinity</translation>
    </message>
    <message>
        <source>Front</source>
        <translation>Front</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>External</source>
        <translation>External</translation>
    </message>
    <message>
        <source>User Controls</source>
        <translation>User Controls</translation>
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
        <source>Hue</source>
        <translation>Hue</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>Balance</source>
        <translation>Balance</translation>
    </message>
    <message>
        <source>Bass</source>
        <translation>Bass</translation>
    </message>
    <message>
        <source>Treble</source>
        <translation>Treble</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Mute</translation>
    </message>
    <message>
        <source>Loudness</source>
        <translation>Loudness</translation>
    </message>
    <message>
        <source>Black Level</source>
        <translation>Black Level</translation>
    </message>
    <message>
        <source>White Balance, Automatic</source>
        <translation>White Balance, Automatic</translation>
    </message>
    <message>
        <source>Auto white balance</source>
        <translation>Auto white balance</translation>
    </message>
    <message>
        <source>Do White Balance</source>
        <translation>Do White Balance</translation>
    </message>
    <message>
        <source>Red Balance</source>
        <translation>Red Balance</translation>
    </message>
    <message>
        <source>Blue Balance</source>
        <translation>Blue Balance</translation>
    </message>
    <message>
        <source>Gamma</source>
        <translation>Gamma</translation>
    </message>
    <message>
        <source>Exposure</source>
        <translation>Exposure</translation>
    </message>
    <message>
        <source>Gain, Automatic</source>
        <translation>Gain, Automatic</translation>
    </message>
    <message>
        <source>Gain</source>
        <translation>Gain</translation>
    </message>
    <message>
        <source>Horizontal Flip</source>
        <translation>Horizontal Flip</translation>
    </message>
    <message>
        <source>Vertical Flip</source>
        <translation>Vertical Flip</translation>
    </message>
    <message>
        <source>Power Line Frequency</source>
        <translation>Power Line Frequency</translation>
    </message>
    <message>
        <source>Hue, Automatic</source>
        <translation>Hue, Automatic</translation>
    </message>
    <message>
        <source>White Balance Temperature</source>
        <translation>White Balance Temperature</translation>
    </message>
    <message>
        <source>White balance</source>
        <translation>White balance</translation>
    </message>
    <message>
        <source>Sharpness</source>
        <translation>Sharpness</translation>
    </message>
    <message>
        <source>Backlight Compensation</source>
        <translation>Backlight Compensation</translation>
    </message>
    <message>
        <source>Chroma AGC</source>
        <translation>Chroma AGC</translation>
    </message>
    <message>
        <source>Color Killer</source>
        <translation>Color Killer</translation>
    </message>
    <message>
        <source>Color Effects</source>
        <translation>Color Effects</translation>
    </message>
    <message>
        <source>Brightness, Automatic</source>
        <translation>Brightness, Automatic</translation>
    </message>
    <message>
        <source>Band-Stop Filter</source>
        <translation>Band-Stop Filter</translation>
    </message>
    <message>
        <source>Rotate</source>
        <translation>Rotate</translation>
    </message>
    <message>
        <source>Background Color</source>
        <translation>Background Color</translation>
    </message>
    <message>
        <source>Chroma Gain</source>
        <translation>Chroma Gain</translation>
    </message>
    <message>
        <source>Illuminator 1</source>
        <translation>Illuminator 1</translation>
    </message>
    <message>
        <source>Illuminator 2</source>
        <translation>Illuminator 2</translation>
    </message>
    <message>
        <source>Min Number of Capture Buffers</source>
        <translation>Min Number of Capture Buffers</translation>
    </message>
    <message>
        <source>Min Number of Output Buffers</source>
        <translation>Min Number of Output Buffers</translation>
    </message>
    <message>
        <source>Alpha Component</source>
        <translation>Alpha Component</translation>
    </message>
    <message>
        <source>Color Effects, CbCr</source>
        <translation>Color Effects, CbCr</translation>
    </message>
    <message>
        <source>Camera Controls</source>
        <translation>Camera Controls</translation>
    </message>
    <message>
        <source>Auto Exposure</source>
        <translation>Auto Exposure</translation>
    </message>
    <message>
        <source>Auto exposure</source>
        <translation>Auto exposure</translation>
    </message>
    <message>
        <source>Exposure Time, Absolute</source>
        <translation>Exposure Time, Absolute</translation>
    </message>
    <message>
        <source>Exposure, Dynamic Framerate</source>
        <translation>Exposure, Dynamic Framerate</translation>
    </message>
    <message>
        <source>Pan, Relative</source>
        <translation>Pan, Relative</translation>
    </message>
    <message>
        <source>Tilt, Relative</source>
        <translation>Tilt, Relative</translation>
    </message>
    <message>
        <source>Pan, Reset</source>
        <translation>Pan, Reset</translation>
    </message>
    <message>
        <source>Tilt, Reset</source>
        <translation>Tilt, Reset</translation>
    </message>
    <message>
        <source>Pan, Absolute</source>
        <translation>Pan, Absolute</translation>
    </message>
    <message>
        <source>Tilt, Absolute</source>
        <translation>Tilt, Absolute</translation>
    </message>
    <message>
        <source>Focus, Absolute</source>
        <translation>Focus, Absolute</translation>
    </message>
    <message>
        <source>Focus</source>
        <translation>Focus</translation>
    </message>
    <message>
        <source>Focus, Relative</source>
        <translation>Focus, Relative</translation>
    </message>
    <message>
        <source>Focus, Automatic Continuous</source>
        <translation>Focus, Automatic Continuous</translation>
    </message>
    <message>
        <source>Auto focus</source>
        <translation>Auto focus</translation>
    </message>
    <message>
        <source>Zoom, Absolute</source>
        <translation>Zoom, Absolute</translation>
    </message>
    <message>
        <source>Zoom, Relative</source>
        <translation>Zoom, Relative</translation>
    </message>
    <message>
        <source>Zoom, Continuous</source>
        <translation>Zoom, Continuous</translation>
    </message>
    <message>
        <source>Privacy</source>
        <translation>Privacy</translation>
    </message>
    <message>
        <source>Iris, Absolute</source>
        <translation>Iris, Absolute</translation>
    </message>
    <message>
        <source>Iris, Relative</source>
        <translation>Iris, Relative</translation>
    </message>
    <message>
        <source>Auto Exposure, Bias</source>
        <translation>Auto Exposure, Bias</translation>
    </message>
    <message>
        <source>White Balance, Auto &amp; Preset</source>
        <translation>White Balance, Auto &amp; Preset</translation>
    </message>
    <message>
        <source>Wide Dynamic Range</source>
        <translation>Wide Dynamic Range</translation>
    </message>
    <message>
        <source>Image Stabilization</source>
        <translation>Image Stabilization</translation>
    </message>
    <message>
        <source>ISO Sensitivity</source>
        <translation>ISO Sensitivity</translation>
    </message>
    <message>
        <source>ISO Sensitivity, Auto</source>
        <translation>ISO Sensitivity, Auto</translation>
    </message>
    <message>
        <source>Exposure, Metering Mode</source>
        <translation>Exposure, Metering Mode</translation>
    </message>
    <message>
        <source>Scene Mode</source>
        <translation>Scene Mode</translation>
    </message>
    <message>
        <source>3A Lock</source>
        <translation>3A Lock</translation>
    </message>
    <message>
        <source>Auto Focus, Start</source>
        <translation>Auto Focus, Start</translation>
    </message>
    <message>
        <source>Auto Focus, Stop</source>
        <translation>Auto Focus, Stop</translation>
    </message>
    <message>
        <source>Auto Focus, Status</source>
        <translation>Auto Focus, Status</translation>
    </message>
    <message>
        <source>Auto Focus, Range</source>
        <translation>Auto Focus, Range</translation>
    </message>
    <message>
        <source>Pan, Speed</source>
        <translation>Pan, Speed</translation>
    </message>
    <message>
        <source>Tilt, Speed</source>
        <translation>Tilt, Speed</translation>
    </message>
    <message>
        <source>Camera Orientation</source>
        <translation>Camera Orientation</translation>
    </message>
    <message>
        <source>Camera Sensor Rotation</source>
        <translation>Camera Sensor Rotation</translation>
    </message>
</context>
<context>
    <name>ICameraButton</name>
    <message>
        <source>Connected</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>In use by %1</source>
        <translation>In use by %1</translation>
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
        <source>This device has no adjustable controls.</source>
        <translation>This device has no adjustable controls.</translation>
    </message>
    <message>
        <source>More controls</source>
        <translation>More controls</translation>
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
    <message>
        <source>Keep my camera settings when other programs change them</source>
        <translation>Keep my camera settings when other programs change them</translation>
    </message>
    <message>
        <source>Start Lumivo when I log in</source>
        <translation>Start Lumivo when I log in</translation>
    </message>
    <message>
        <source>Lumivo cannot start when you log in: %1</source>
        <translation>Lumivo cannot start when you log in: %1</translation>
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
    <name>LooksPanel</name>
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
    <message>
        <source>%1: in use by %2</source>
        <translation>%1: in use by %2</translation>
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
        <source>Restore default</source>
        <translation>Restore default</translation>
    </message>
    <message>
        <source>Lumivo</source>
        <translation>Lumivo</translation>
    </message>
    <message>
        <source>More controls</source>
        <translation>More controls</translation>
    </message>
    <message>
        <source>This camera&apos;s controls are not available through PipeWire</source>
        <translation>This camera&apos;s controls are not available through PipeWire</translation>
    </message>
    <message>
        <source>%1 cannot be removed: %2</source>
        <translation>%1 cannot be removed: %2</translation>
    </message>
    <message>
        <source>the folder %1 cannot be created</source>
        <translation>the folder %1 cannot be created</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2</source>
        <translation>%1 cannot be written: %2</translation>
    </message>
</context>
<context>
    <name>StreamStateMessages</name>
    <message>
        <source>No preview availableWebcam is used by another application.</source>
        <translation>No preview available&lt;br&gt;Webcam is used by another application.</translation>
    </message>
    <message>
        <source>In use by: %1</source>
        <translation>In use by: %1</translation>
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
</TS>
