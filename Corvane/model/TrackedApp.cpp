#include "model/TrackedApp.h"

TrackedApp::TrackedApp(const AppInfo &info, bool isOwn)
    : appleAppId(info.appleAppId), name(info.name), isOwn(isOwn)
{
    update(info);
}

void TrackedApp::update(const AppInfo &info)
{
    name = info.name;
    developerName = info.developerName;
    iconURL = info.iconURL;
    storeURL = info.storeURL;
    appDescription = info.description;
    primaryGenre = info.primaryGenre;
    genres = info.genres;
    averageRating = info.averageRating;
    ratingCount = info.ratingCount;
    formattedPrice = info.formattedPrice;
    version = info.version;
    metadataUpdatedAt = QDateTime::currentDateTimeUtc();
}

AppInfo TrackedApp::appInfo() const
{
    AppInfo info;
    info.appleAppId = appleAppId;
    info.name = name;
    info.developerName = developerName;
    info.iconURL = iconURL;
    info.storeURL = storeURL;
    info.description = appDescription;
    info.primaryGenre = primaryGenre;
    info.genres = genres;
    info.averageRating = averageRating;
    info.ratingCount = ratingCount;
    info.formattedPrice = formattedPrice;
    info.version = version;
    return info;
}
