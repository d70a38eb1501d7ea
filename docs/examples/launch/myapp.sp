myapp.profile=production
file.encoding=UTF-8
