#include "capture/idevicescanner.h"

#include "capture/dshow.h"

#include <QHash>

using namespace dshow;

QList<ICameraInfo> IDeviceScanner::scan()
{
    QList<ICameraInfo> result;
    std::shared_ptr<ICreateDevEnum> devEnum;
    if (CoCreateInstance(CLSID::SystemDeviceEnum, devEnum) != S_OK)
        return result;
    std::shared_ptr<IEnumMoniker> monikers;
    if (devEnum->CreateClassEnumerator(DeviceCategory::VideoInputDevice, monikers) != S_OK || !monikers)
        return result;
    monikers->Reset();

    QHash<QString, int> seen;
    int index = 0;
    std::shared_ptr<IMoniker> moniker;
    while (monikers->Next(moniker) == S_OK) {
        std::shared_ptr<IPropertyBag> bag;
        if (SUCCEEDED(moniker->BindToStorage(bag)) && bag) {
            ICameraInfo info;
            info.nIndex = index;
            QString text;
            if (SUCCEEDED(bag->Read(QStringLiteral("FriendlyName"), text))) {
                const int count = ++seen[text];
                info.strDisplayName = text + QStringLiteral(" #%1").arg(count);
            }
            if (SUCCEEDED(bag->Read(QStringLiteral("DevicePath"), text))) {
                info.strDevicePath = text;
                if (SUCCEEDED(bag->Read(QStringLiteral("VendorId"), text)))
                    info.strVid = text;
                if (SUCCEEDED(bag->Read(QStringLiteral("ProductId"), text)))
                    info.strPid = text;
                if (SUCCEEDED(bag->Read(QStringLiteral("Serial"), text)))
                    info.strSerial = text;
            }
            result.append(info);
        }
        moniker.reset();
        ++index;
    }
    return result;
}
