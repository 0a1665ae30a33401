// Report plug-in windows for the shots tool.
