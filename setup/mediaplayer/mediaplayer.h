#pragma once
// Registers the product's media player plug-in (an in-process COM server)
// for the interactive user, when that user has the media player set up.

#include <string>

// `pluginPath`: the plug-in's full path. Every outcome goes to the log only.
void RegisterMediaPlayerPlugin(const std::string& pluginPath);
