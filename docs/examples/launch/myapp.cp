/opt/shared/lib/logging.jar
