content of x.bat
